// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Unix half of systemlock.h: an exclusive flock, which the kernel drops
// with the holder's last descriptor.
#include "systemlock.h"

#include "lockfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file that cannot be opened, or that someone removes while it is taken,
// is made again a few times at most.
constexpr int MaxRemakes = 4;

// The lock, if `fd` holds it on the file still at `name`: one that an older
// launcher removed as it let go, or cleared as unheld, is no lock at all.
bool isStillThere(int fd, const QByteArray &name)
{
    struct stat held;
    struct stat there;
    return ::fstat(fd, &held) == 0 && ::lstat(name.constData(), &there) == 0 && held.st_dev == there.st_dev
        && held.st_ino == there.st_ino;
}

// A file this user may not open (another user's, left by a sudo run), or
// a link at the name, is nobody's lock: removed, to be made again.
bool isRemovedForRemaking(const QByteArray &name, int openError)
{
    return (openError == EACCES || openError == EPERM || openError == ELOOP) && ::unlink(name.constData()) == 0;
}

} // namespace

SystemLock::SystemLock(const QString &path, const QDeadlineTimer &deadline)
{
    const QByteArray name = QFile::encodeName(path);
    for (int remakes = 0;;) {
        // For writing: some network file systems grant an exclusive flock on
        // no other descriptor.
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        if (fd < 0) {
            if (remakes++ < MaxRemakes && isRemovedForRemaking(name, errno))
                continue;
            return;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (isStillThere(fd, name)) {
                m_handle = fd;
                return;
            }
            ::close(fd);
            if (remakes++ < MaxRemakes)
                continue;
            return;
        }
        const int flockError = errno;
        ::close(fd);
        if (flockError != EWOULDBLOCK || !waitedBeforeRetry(deadline))
            return;
    }
}

SystemLock::~SystemLock()
{
    if (isLocked())
        ::close(int(m_handle));
}
