// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Unix half of lockfile.h: a QLockFile's holder keeps a flock on it
// while it holds it, though not while it makes or removes it.
#include "lockfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor however a probe ends.
class Descriptor
{
public:
    // None for no name.
    Descriptor(const QByteArray &name, int access)
        : m_fd(name.isEmpty() ? -1 : ::open(name.constData(), access | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK))
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool isSameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

LockLeftover unlinked(const QByteArray &name)
{
    return ::unlink(name.constData()) == 0 || errno == ENOENT ? LockLeftover::Gone : LockLeftover::Permanent;
}

bool isDenied(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

} // namespace

namespace Locks {

LockLeftover removeUnlessLocked(const QString &path, qint64 ageMs)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat seen;
    if (::lstat(name.constData(), &seen) != 0)
        return errno == ENOENT ? LockLeftover::Gone : LockLeftover::Permanent;
    if (S_ISDIR(seen.st_mode))
        return LockLeftover::Permanent;
    // QLockFile only ever creates plain files: nobody holds a link or
    // anything else through this name, and it is removed, not what it
    // leads to.
    if (!S_ISREG(seen.st_mode))
        return unlinked(name);
    // Asked as Qt asks before it removes a stale lock: on a descriptor open
    // for writing, as some network file systems grant an exclusive flock on
    // no other.
    Descriptor writable(name, O_WRONLY);
    const int openError = writable.fd() < 0 ? errno : 0;
    if (openError == ENOENT)
        return LockLeftover::Gone;
    // Another user's lock (a sudo run): Qt's own QSettings would wait for it
    // for ever. Past the stale time it goes; before, a read-only flock
    // tells, where the file system grants one.
    if (isDenied(openError) && ageMs >= StaleLockMs)
        return unlinked(name);
    const Descriptor readable(isDenied(openError) ? name : QByteArray(), O_RDONLY);
    const int fd = openError == 0 ? writable.fd() : readable.fd();
    struct stat opened;
    if (fd < 0 || ::fstat(fd, &opened) != 0 || !isSameFile(opened, seen))
        return LockLeftover::Held; // replaced meanwhile, or unknown: looked at again
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return LockLeftover::Held;
    struct stat now;
    if (::lstat(name.constData(), &now) != 0 || !isSameFile(now, seen))
        return LockLeftover::Held;
    return unlinked(name);
}

bool isRunning(qint64 pid, const QString &program)
{
    if (pid > INT_MAX || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH))
        return false;
    // Another user's process keeps its name to itself: it lives, which is
    // all there is to tell.
    QByteArray target = QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)));
    if (target.isEmpty() || program.isEmpty())
        return true;
    const QByteArray deleted = " (deleted)";
    if (target.endsWith(deleted))
        target.chop(deleted.size());
    return QFileInfo(QFile::decodeName(target)).fileName() == QFileInfo(program).fileName();
}

bool isBeingRemoved(const QString &)
{
    return false; // a removal on Unix is one step
}

QString machineName()
{
    return QSysInfo::machineHostName();
}

} // namespace Locks
