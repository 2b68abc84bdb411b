// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Windows half of start.h.
#include "start.h"

#include <QDir>
#include <QProcess>

#include <windows.h>

#ifndef STARTF_TITLEISLINKNAME
#define STARTF_TITLEISLINKNAME 0x00000800
#endif
#ifndef STARTF_TITLEISAPPID
#define STARTF_TITLEISAPPID 0x00001000
#endif
#ifndef STARTF_PREVENTPINNING
#define STARTF_PREVENTPINNING 0x00002000
#endif
// Set, though not documented, when the program was started from a taskbar or
// a jump list (Windows 8 and later): hStdOutput then holds the monitor
// (HMONITOR) of that taskbar, on which the program should open its window.
#ifndef STARTF_HASMONITOR
#define STARTF_HASMONITOR 0x00000400
#endif

namespace {

// How the user started the launcher, passed on to the application: the
// shortcut's "Run: Minimized/Maximized", its hotkey, the monitor whose
// taskbar was clicked, and the shortcut itself (or an application id), under
// which Windows groups and pins the taskbar button, rather than under the
// versioned path that the next upgrade breaks.
void startAsTheLauncherWasStarted(QProcess::CreateProcessArguments *arguments)
{
    STARTUPINFOW own = {};
    own.cb = sizeof own;
    GetStartupInfoW(&own);
    STARTUPINFOW *info = arguments->startupInfo;
    if (own.dwFlags & STARTF_USESHOWWINDOW) {
        info->dwFlags |= STARTF_USESHOWWINDOW;
        info->wShowWindow = own.wShowWindow;
    }
    if (own.dwFlags & (STARTF_TITLEISLINKNAME | STARTF_TITLEISAPPID)) {
        info->dwFlags |= own.dwFlags & (STARTF_TITLEISLINKNAME | STARTF_TITLEISAPPID | STARTF_PREVENTPINNING);
        info->lpTitle = own.lpTitle;
    }
    // Qt hands on the launcher's standard handles, inheritable, and with
    // them every inheritable handle of the caller's: one that reads the
    // launcher's output (an installer's "run now", a script) would wait for
    // the application to exit. A GUI application needs none. Without
    // STARTF_USESTDHANDLES the child would get the launcher's all the same,
    // unless a hotkey takes hStdInput's place: Windows then ties the key to
    // the application's first window, so pressing it brings Quillora
    // forward, and hands on no standard handle. A monitor takes hStdOutput's
    // place alike; it is no kernel handle, and nothing is inherited.
    const DWORD inPlaceOfHandles = own.dwFlags & (STARTF_USEHOTKEY | STARTF_HASMONITOR);
    info->hStdInput = (inPlaceOfHandles & STARTF_USEHOTKEY) ? own.hStdInput : nullptr;
    info->hStdOutput = (inPlaceOfHandles & STARTF_HASMONITOR) ? own.hStdOutput : nullptr;
    info->hStdError = nullptr;
    if (inPlaceOfHandles) {
        info->dwFlags = (info->dwFlags & ~DWORD(STARTF_USESTDHANDLES)) | inPlaceOfHandles;
        // Without STARTF_USESTDHANDLES the child is given the launcher's
        // own standard handles; the launcher, about to exit, uses none.
        SetStdHandle(STD_INPUT_HANDLE, nullptr);
        SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
        SetStdHandle(STD_ERROR_HANDLE, nullptr);
    } else {
        info->dwFlags |= STARTF_USESTDHANDLES;
    }
    arguments->inheritHandles = FALSE;
}

} // namespace

Inheritance Inheritance::ofThisProcess()
{
    // The block as Windows holds it: QProcessEnvironment would sort it,
    // merge names that differ in case only and drop entries it cannot read.
    Inheritance given;
    wchar_t *block = GetEnvironmentStringsW();
    if (!block)
        return given;
    const wchar_t *end = block;
    while (*end)
        end += wcslen(end) + 1;
    given.environmentBlock = QByteArray(reinterpret_cast<const char *>(block), int((end - block) * sizeof(wchar_t)));
    FreeEnvironmentStringsW(block);
    return given;
}

bool startApplication(const QString &program, const QString &workingDirectory, const Inheritance &given, QString *why)
{
    // Ends in two NULs, as CreateProcess wants it, even when empty.
    QByteArray environment = given.environmentBlock;
    environment.append(4, '\0');
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(QDir::toNativeSeparators(workingDirectory));
    // Qt's own start, so that an application that needs elevation still
    // gets its UAC prompt (through ShellExecuteEx, which carries neither the
    // environment block nor the hotkey).
    process.setCreateProcessArgumentsModifier([&environment](QProcess::CreateProcessArguments *arguments) {
        startAsTheLauncherWasStarted(arguments);
        arguments->environment = environment.data();
        arguments->flags |= CREATE_UNICODE_ENVIRONMENT;
    });
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        const DWORD error = GetLastError();
        if (why)
            *why = QStringLiteral("error %1: %2").arg(error).arg(qt_error_string(int(error)));
        return false;
    }
    // The application was not started by the foreground process, so Windows
    // would refuse its first window the foreground and flash its taskbar
    // button instead; the launcher still has the right, and hands it on.
    AllowSetForegroundWindow(DWORD(pid));
    return true;
}

void survivesFileSizeLimit()
{
    // Windows has no such signal.
}
