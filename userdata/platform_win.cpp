// SPDX-License-Identifier: MIT
// The Windows half of platform.h.
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>

#include <windows.h>
#include <io.h>

namespace {

const wchar_t *native(const QString &nativePath)
{
    return reinterpret_cast<const wchar_t *>(nativePath.utf16());
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

bool isHeldByAnotherProgram(const QString &path)
{
    const HANDLE file = CreateFileW(native(QDir::toNativeSeparators(path)), GENERIC_READ,
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
    if (QFile::remove(path))
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
    if (QFile::remove(path))
        return true;
    SetFileAttributesW(native(nativePath), attributes);
    return false;
}

PrivateCreation::PrivateCreation() = default;
PrivateCreation::~PrivateCreation() = default;

} // namespace Platform
