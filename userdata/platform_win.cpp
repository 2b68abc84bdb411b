#include "platform.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#ifdef Q_OS_WIN

#include <QStringList>

#include <algorithm>

#include <windows.h>
#include <delayimp.h>
#include <io.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

const wchar_t *native(const QString &nativePath)
{
    return reinterpret_cast<const wchar_t *>(nativePath.utf16());
}

// The DLLs that are not on Windows' list of known DLLs are linked for
// delayed loading, and this hook loads each of them by its full path in the
// system folder when it is first needed. So no search order is involved at
// all, not even on a Windows 7 that lacks SetDefaultDllDirectories.
FARPROC WINAPI loadFromSystemFolder(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary)
        return nullptr;
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr; // the helper then loads it by name, from the system folder only
    const QString path = QString::fromWCharArray(folder, int(length)) + QLatin1Char('\\')
        + QString::fromLatin1(info->szDll);
    return reinterpret_cast<FARPROC>(LoadLibraryW(native(path)));
}

} // namespace

// Read by the delayed-loading helper; both are defined here, so that the
// runtime library's defaults (which would clash) are not linked.
PfnDliHook __pfnDliNotifyHook2 = loadFromSystemFolder;
PfnDliHook __pfnDliFailureHook2 = nullptr;

namespace Platform {

void restrictLibrarySearch()
{
    // Looked up, not imported: Windows 7 has it only with an update.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI *)(DWORD);
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

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

} // namespace Platform

#else // Unix

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace Platform {

void restrictLibrarySearch()
{
    // Shared libraries come from the system's own paths; nothing to narrow.
}

QString userConfigurationBase()
{
    // Qt passes a relative XDG_CONFIG_HOME through, where the XDG Base
    // Directory rules say to ignore it, and falls back to the filesystem
    // root when HOME is empty. Neither is where this user's data lives.
    if (qgetenv("XDG_CONFIG_HOME").startsWith('/'))
        return QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation).value(0);
    const QString home = QFile::decodeName(qgetenv("HOME"));
    if (!home.startsWith(QLatin1Char('/')))
        return QString();
    return QDir::cleanPath(home) + QStringLiteral("/.config");
}

bool isPlainVersionName(const QString &)
{
    return true;
}

bool syncToDisk(QFileDevice &file)
{
    return ::fsync(file.handle()) == 0;
}

bool syncDirectory(const QString &directory)
{
    const int descriptor = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    // Some filesystems cannot sync a directory (EINVAL); they have nothing
    // pending to wait for.
    const bool synced = ::fsync(descriptor) == 0 || errno == EINVAL;
    ::close(descriptor);
    return synced;
}

bool isHeldByAnotherProgram(const QString &)
{
    // Unix has no mandatory sharing modes: an unreadable file stays so.
    return false;
}

bool removeFile(const QString &path)
{
    // A file's own mode never stands in the way of its removal here.
    return QFile::remove(path);
}

} // namespace Platform

#endif
