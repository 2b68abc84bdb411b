// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Windows half of lockfile.h: a live holder keeps its lock file open,
// which keeps an exclusive open out.
#include "lockfile.h"

#include <QDir>

#include <windows.h>

namespace {

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

LockLeftover clearUnheldLock(const QString &path)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    const auto *native = reinterpret_cast<const wchar_t *>(nativePath.utf16());
    const DWORD attributes = GetFileAttributesW(native);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? LockLeftover::Gone
                                                                              : LockLeftover::Permanent;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return LockLeftover::Permanent;
    if (removedUnlessOpen(native))
        return LockLeftover::Gone;
    DWORD error = GetLastError();
    // A read-only file cannot be removed until the attribute is cleared; it
    // comes back when the removal fails all the same.
    if (error == ERROR_ACCESS_DENIED && (attributes & FILE_ATTRIBUTE_READONLY)
        && SetFileAttributesW(native, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY))) {
        if (removedUnlessOpen(native))
            return LockLeftover::Gone;
        error = GetLastError();
        SetFileAttributesW(native, attributes);
    }
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return LockLeftover::Gone;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return LockLeftover::Held;
    default:
        return LockLeftover::Permanent;
    }
}
