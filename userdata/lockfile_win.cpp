// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Windows half of lockfile.h: a QLockFile's holder keeps its file open
// from creating it to letting go, which keeps an exclusive open out.
#include "lockfile.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

// The NT status beneath the thread's last Win32 error: the one thing that
// tells a delete still pending from a real denial.
extern "C" NTSYSAPI LONG NTAPI RtlGetLastNtStatus(void);

namespace {

const wchar_t *native(const QString &nativePath)
{
    return reinterpret_cast<const wchar_t *>(nativePath.utf16());
}

LockLeftover lastOpenFailure()
{
    const DWORD error = GetLastError();
    return windowsOpenFailure(error, quint32(RtlGetLastNtStatus()));
}

// Opens the file alone, or not at all, and has it removed as the handle
// closes: nobody can take it in between. A link is removed, not what it
// leads to.
bool removedUnlessOpen(const wchar_t *path)
{
    const HANDLE file
        = CreateFileW(path, DELETE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

} // namespace

namespace Locks {

LockLeftover removeUnlessLocked(const QString &path, qint64)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    const DWORD attributes = GetFileAttributesW(native(nativePath));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_PATH_NOT_FOUND ? LockLeftover::Gone : lastOpenFailure();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return LockLeftover::Permanent;
    if (removedUnlessOpen(native(nativePath)))
        return LockLeftover::Gone;
    LockLeftover failure = lastOpenFailure();
    // A read-only file cannot be removed until the attribute is cleared; it
    // comes back when the removal fails all the same.
    if (failure == LockLeftover::Permanent && (attributes & FILE_ATTRIBUTE_READONLY)
        && SetFileAttributesW(native(nativePath), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY))) {
        if (removedUnlessOpen(native(nativePath)))
            return LockLeftover::Gone;
        failure = lastOpenFailure();
        SetFileAttributesW(native(nativePath), attributes);
    }
    return failure;
}

bool isRunning(qint64 pid, const QString &program)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER; // no such process
    DWORD exitCode = 0;
    wchar_t image[MAX_PATH * 4];
    DWORD length = sizeof image / sizeof *image;
    const bool alive = !GetExitCodeProcess(process, &exitCode) || exitCode == STILL_ACTIVE;
    const bool named = QueryFullProcessImageNameW(process, 0, image, &length);
    CloseHandle(process);
    // Qt records the image's base name without its extension.
    return alive
        && (!named || program.isEmpty()
            || QFileInfo(QString::fromWCharArray(image, int(length))).completeBaseName() == program);
}

bool isBeingRemoved(const QString &path)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    const HANDLE file
        = CreateFileW(native(nativePath), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_ACCESS_DENIED && lastOpenFailure() == LockLeftover::Held;
}

QString machineName()
{
    // As Qt's QLockFile records it, without a name lookup.
    return qEnvironmentVariable("COMPUTERNAME");
}

} // namespace Locks
