// SPDX-License-Identifier: MIT
// The Windows half of platform.h.
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>

#include <windows.h>
#include <io.h>

#ifndef STARTF_TITLEISLINKNAME
#define STARTF_TITLEISLINKNAME 0x00000800
#endif
#ifndef STARTF_TITLEISAPPID
#define STARTF_TITLEISAPPID 0x00001000
#endif
#ifndef STARTF_PREVENTPINNING
#define STARTF_PREVENTPINNING 0x00002000
#endif

namespace {

const wchar_t *native(const QString &nativePath)
{
    return reinterpret_cast<const wchar_t *>(nativePath.utf16());
}

// How the user started the launcher, passed on to the application: the
// shortcut's "Run: Minimized/Maximized", and the shortcut itself (or an
// application id), under which Windows groups and pins the taskbar button,
// rather than under the versioned path that the next upgrade breaks.
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
    // STARTF_USESTDHANDLES the child would get the launcher's all the same.
    info->dwFlags |= STARTF_USESTDHANDLES;
    info->hStdInput = nullptr;
    info->hStdOutput = nullptr;
    info->hStdError = nullptr;
    arguments->inheritHandles = FALSE;
}

// Gone, not only reported gone: Wine, like some network shares, reports a
// removal the folder's permissions refused as done.
bool removed(const QString &path)
{
    return QFile::remove(path) && !QFileInfo::exists(path);
}

} // namespace

namespace Platform {

QString userConfigurationBase()
{
    // The user's local application-data folder.
    return QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation).value(0);
}

bool isPlainVersionName(const QString &version)
{
    if (version.contains(QLatin1Char(':')))
        return false;
    const auto trimmedAway = [](const QString &segment) {
        return !segment.isEmpty() && std::all_of(segment.begin(), segment.end(), [](QChar c) {
            return c == QLatin1Char('.') || c == QLatin1Char(' ');
        });
    };
    const QStringList segments = QString(version).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return std::none_of(segments.begin(), segments.end(), trimmedAway);
}

bool syncToDisk(QFileDevice &file)
{
    // QSaveFile flushes the file before its commit too, but ignores the result.
    const int descriptor = file.handle();
    return descriptor >= 0 && FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)));
}

bool syncDirectory(const QString &)
{
    // NTFS journals its directory entries; there is no directory to sync.
    return true;
}

FileState fileState(const QString &path, qint64 *size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(native(QDir::toNativeSeparators(path)), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME
            ? FileState::Missing
            : FileState::Unknown;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link: what counts is what it leads to, if anything.
        const QFileInfo target(path);
        if (!target.isFile())
            return FileState::Missing;
        *size = target.size();
        return FileState::File;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return FileState::Missing;
    *size = (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return FileState::File;
}

bool isHeldByAnotherProgram(const QString &path)
{
    // Asking for DELETE too: a virus scanner's usual hold shares reading
    // only, which keeps the file from being replaced.
    const HANDLE file = CreateFileW(native(QDir::toNativeSeparators(path)), GENERIC_READ | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool removeFile(const QString &path)
{
    if (removed(path))
        return true;
    // A read-only file cannot be removed until the attribute is cleared. The
    // attribute belongs to this directory entry alone, and it comes back when
    // the removal fails all the same.
    const QString nativePath = QDir::toNativeSeparators(path);
    const DWORD attributes = GetFileAttributesW(native(nativePath));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    if (!SetFileAttributesW(native(nativePath), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)))
        return false;
    if (removed(path))
        return true;
    SetFileAttributesW(native(nativePath), attributes);
    return false;
}

Inheritance Inheritance::ofThisProcess()
{
    // What Windows passes on is read when the application is started.
    return Inheritance();
}

bool startApplication(const QString &program, const QString &workingDirectory, const Inheritance &, QString *why)
{
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(QDir::toNativeSeparators(workingDirectory));
    // Qt's own start, so that an application that needs elevation still
    // gets its UAC prompt.
    process.setCreateProcessArgumentsModifier(startAsTheLauncherWasStarted);
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

bool hasDebuggerChannel()
{
    return true;
}

void tellDebugger(const QString &line)
{
    OutputDebugStringW(native(line + QLatin1Char('\n')));
}

PrivateCreation::PrivateCreation() = default;
PrivateCreation::~PrivateCreation() = default;

} // namespace Platform
