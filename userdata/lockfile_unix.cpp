// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Unix half of lockfile.h: a live holder has its flock on the file.
#include "lockfile.h"

#include <QFile>
#include <QThread>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// QLockFile creates its file, then takes its flock, then writes its
// details: an empty file made a moment ago may belong to a launch between
// the first two, and is looked at twice.
constexpr unsigned long CreationWindowMs = 100;

// Closes a descriptor however a probe ends.
class Descriptor
{
public:
    explicit Descriptor(const QByteArray &name)
        : m_fd(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK))
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

bool mayBeInTheMaking(const struct stat &file)
{
    const time_t now = ::time(nullptr);
    return file.st_size == 0 && file.st_mtime >= now - 1 && file.st_mtime <= now + 1;
}

bool isSameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the kernel lists a lock on `file`, asked without opening it: for
// a file this user cannot open (another user's private one, left by a sudo
// run), and for one whose launcher may be about to lock it. When that cannot
// be told, it counts as held.
bool isListedAsLocked(const struct stat &file)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return true;
    const QByteArray id = " " + QByteArray::number(major(file.st_dev), 16).rightJustified(2, '0') + ':'
        + QByteArray::number(minor(file.st_dev), 16).rightJustified(2, '0') + ':'
        + QByteArray::number(qulonglong(file.st_ino)) + ' ';
    return locks.readAll().contains(id);
}

LockLeftover unlinked(const QByteArray &name)
{
    return ::unlink(name.constData()) == 0 || errno == ENOENT ? LockLeftover::Gone : LockLeftover::Permanent;
}

// Removes the file `seen` at `name` unless a live process holds it: while
// this holds its flock, so that nobody takes it in between.
LockLeftover removeUnlessHeld(const QByteArray &name, const struct stat &seen)
{
    const Descriptor file(name);
    if (file.fd() < 0) {
        if (errno == ENOENT)
            return LockLeftover::Gone;
        return errno != EACCES || isListedAsLocked(seen) ? LockLeftover::Held : unlinked(name);
    }
    struct stat opened;
    if (::fstat(file.fd(), &opened) != 0 || !isSameFile(opened, seen))
        return LockLeftover::Held; // replaced meanwhile: looked at again
    // Any failure but "held" (a filesystem without flock) says nothing of a
    // holder either, and is taken as one.
    if (::flock(file.fd(), LOCK_EX | LOCK_NB) != 0)
        return LockLeftover::Held;
    struct stat now;
    if (::lstat(name.constData(), &now) != 0 || !isSameFile(now, seen))
        return LockLeftover::Held;
    return unlinked(name);
}

} // namespace

LockLeftover clearUnheldLock(const QString &path)
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
    // Looked at without taking its flock, which would keep its launcher
    // from taking it: the kernel's list tells.
    if (mayBeInTheMaking(seen)) {
        if (isListedAsLocked(seen))
            return LockLeftover::Held;
        QThread::msleep(CreationWindowMs);
    }
    return removeUnlessHeld(name, seen);
}
