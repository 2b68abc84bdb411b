// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Windows half of platform.h.
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <windows.h>
#include <io.h>

namespace {

const wchar_t *native(const QString &nativePath)
{
    return reinterpret_cast<const wchar_t *>(nativePath.utf16());
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

Qt::CaseSensitivity iniCaseSensitivity()
{
    return Qt::CaseInsensitive;
}

bool keepAttributesOf(const QString &path, QFileDevice &replacement)
{
    // QSaveFile's commit gives the new file attributes of its own.
    const DWORD attributes = GetFileAttributesW(native(QDir::toNativeSeparators(path)));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (!kept)
        return true;
    FILE_BASIC_INFO info = {};
    info.FileAttributes = kept;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(replacement.handle()));
    return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
}

bool mayRemove(const QString &path)
{
    const HANDLE file = CreateFileW(native(QDir::toNativeSeparators(path)), DELETE | FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
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

PrivateCreation::PrivateCreation() = default;
PrivateCreation::~PrivateCreation() = default;

} // namespace Platform
