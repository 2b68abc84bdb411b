// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Unix half of platform.h.
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

QString userConfigurationBase()
{
    // Qt passes a relative XDG_CONFIG_HOME through, where the XDG Base
    // Directory rules say to ignore it, and falls back to the filesystem
    // root when HOME is empty. Neither is where this user's data lives; nor
    // is a name whose bytes do not survive decoding ("/home/h\xff" becomes
    // a sibling "/home/h\uFFFD"), so then there is none either.
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    const QByteArray base = configHome.startsWith('/') ? configHome : qgetenv("HOME");
    if (!base.startsWith('/') || QFile::encodeName(QFile::decodeName(base)) != base)
        return QString();
    if (configHome.startsWith('/'))
        return QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation).value(0);
    return QDir::cleanPath(QFile::decodeName(base)) + QStringLiteral("/.config");
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

FileState fileState(const QString &path, qint64 *size)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileState::Missing : FileState::Unknown;
    if (!S_ISREG(info.st_mode))
        return FileState::Missing;
    *size = info.st_size;
    return FileState::File;
}

bool isHeldByAnotherProgram(const QString &)
{
    // Unix has no mandatory sharing modes: an unreadable file stays so.
    return false;
}

Qt::CaseSensitivity iniCaseSensitivity()
{
    return Qt::CaseSensitive;
}

bool keepAttributesOf(const QString &path, QFileDevice &replacement)
{
    struct stat original;
    if (::stat(QFile::encodeName(path).constData(), &original) != 0)
        return false;
    const int descriptor = replacement.handle();
    if (::geteuid() == 0 && ::fchown(descriptor, original.st_uid, original.st_gid) != 0)
        return false;
    return ::fchmod(descriptor, original.st_mode & 07777) == 0;
}

bool mayRemove(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    struct stat info;
    if (::access(folder.constData(), W_OK | X_OK) != 0 || ::stat(folder.constData(), &info) != 0)
        return false;
    // In a sticky folder (/tmp) only the file's or the folder's owner may.
    const uid_t self = ::geteuid();
    struct stat file;
    return !(info.st_mode & S_ISVTX) || self == 0 || info.st_uid == self
        || (::lstat(QFile::encodeName(path).constData(), &file) == 0 && file.st_uid == self);
}

bool removeFile(const QString &path)
{
    // A file's own mode never stands in the way of its removal here.
    return QFile::remove(path);
}

PrivateCreation::PrivateCreation()
    : m_previous(::umask(077))
{
}

PrivateCreation::~PrivateCreation()
{
    ::umask(mode_t(m_previous));
}

} // namespace Platform
