// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Taking a lock file without waiting for one nobody holds.
#include "lockfile.h"

#include <QLockFile>
#include <QThread>

namespace {

// How often a held lock is looked at again: holders keep it for
// milliseconds.
constexpr unsigned long HeldLockRetryMs = 20;

// Another launcher may clear and take the lock between two tries; a few
// rounds are plenty.
constexpr int MaxClears = 4;

} // namespace

bool takeLock(QLockFile &lock, const QString &path, const QDeadlineTimer &deadline)
{
    for (int clears = 0;;) {
        if (lock.tryLock(0))
            return true;
        if (lock.error() != QLockFile::LockFailedError)
            return false; // cannot be created here at all
        // Qt serialises its own removals of stale locks with this helper,
        // and takes one left behind for stale only after 30 s.
        clearUnheldLock(path + QStringLiteral(".rmlock"));
        const LockLeftover leftover = clearUnheldLock(path);
        if (leftover == LockLeftover::Permanent)
            return false;
        if (leftover == LockLeftover::Gone && ++clears <= MaxClears)
            continue;
        if (deadline.hasExpired())
            return false;
        const qint64 left = deadline.remainingTime(); // -1: forever
        QThread::msleep(left < 0 ? HeldLockRetryMs : qMin<qint64>(HeldLockRetryMs, left));
    }
}
