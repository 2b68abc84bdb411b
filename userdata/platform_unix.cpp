// SPDX-License-Identifier: MIT
// The Unix half of platform.h.
#include "platform.h"

#include <QDir>
#include <QFile>
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

PrivateCreation::PrivateCreation()
    : m_previous(::umask(077))
{
}

PrivateCreation::~PrivateCreation()
{
    ::umask(mode_t(m_previous));
}

} // namespace Platform
