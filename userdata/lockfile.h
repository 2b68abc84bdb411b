// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

class QLockFile;

// The settings locks ("<file>.lock") are QLockFiles: the application's
// QSettings takes one around each save. A live holder of one is not always
// visible by its flock: QLockFile creates the file before it takes the
// flock, and gives the flock back before it deletes the file. So a lock is
// judged first by what its holder wrote into it, as Qt judges it, and its
// flock is asked only where that says nothing of a live holder.

// What was found at a lock file's name.
enum class LockLeftover {
    Gone,     // nothing there (any more): it was a leftover, and is cleared
    Held,     // a live process holds it, or may: looked at again later
    Permanent // it can never be taken: a folder, or a lock that cannot be removed
};

// What a lock file tells of its holder, and how old it is.
struct LockEvidence
{
    enum class Process {
        Running,     // alive, and running the program the lock names
        Gone,        // no such process, or another program under that id
        ThisProcess, // this very launcher: a lock it left in an earlier life
    };
    bool named = false;   // the file names a process (else empty or garbage)
    bool sameHost = true; // by host id where both sides have one, else by name
    bool sameBoot = true; // by boot id where the lock has one
    Process process = Process::Running;
    qint64 ageMs = 0; // by its modification time, either way from now
};

// Qt's stale time, and how long a lock being made may take to be written:
// a lock nobody may take before it is this old.
constexpr qint64 StaleLockMs = 30000;
constexpr qint64 UnwrittenLockMs = 2000;

// Whether a lock with `evidence` may be cleared when no flock is held on
// it: a process gone, another boot, this very process at once; an unnamed
// one after UnwrittenLockMs; another host's, or a live holder's, after
// StaleLockMs. Otherwise it is held, whatever its flock.
bool mayClear(const LockEvidence &evidence);

// The evidence in the lock at `path`, read now.
LockEvidence evidenceOf(const QString &path);

// Clears the lock at `path` when it may be cleared, the way Qt clears a
// stale lock: under its helper ("<path>.rmlock"), judged again there, and
// removed only if no flock is held on it. Never touches a lock judged held.
LockLeftover clearLeftoverLock(const QString &path);

// Takes `lock` (at `path`) by `deadline`. A leftover is cleared at once; a
// held lock is waited for; one that can never be taken, or not be created
// at all (a folder the user cannot write), is given up at once.
bool takeLock(QLockFile &lock, const QString &path, const QDeadlineTimer &deadline);

// Waits a moment before a held lock is tried again, never past `deadline`:
// holders keep a lock for milliseconds. False, without waiting, once the
// deadline has passed.
bool waitedBeforeRetry(const QDeadlineTimer &deadline);

// How a failed open of a lock file on Windows is to be taken, from its
// Win32 error and the NT status beneath it: a delete still pending is Qt's
// own holder letting go, and passes in a moment, though Windows reports it
// as "access denied", as it does a real denial. (Here for the rules table;
// used by lockfile_win.cpp.)
LockLeftover windowsOpenFailure(quint32 error, quint32 ntStatus);

namespace Locks {
// The platform halves (lockfile_unix.cpp, lockfile_win.cpp).

// Removes what lies at `path` unless a live holder's lock is on it: on Unix
// a flock, asked on a descriptor opened for writing (read-only for a file
// this user cannot write, which is unlinked once `ageMs` passes Qt's stale
// time); on Windows an open handle. Links are removed, not followed.
LockLeftover removeUnlessLocked(const QString &path, qint64 ageMs);

// Whether process `pid` of this host and boot lives and runs `program`, the
// name a QLockFile records; one that cannot be told about counts as running.
bool isRunning(qint64 pid, const QString &program);

// Whether the lock file at `path` is being deleted right now (Windows), so
// that Qt reports it as a permission error a moment before it is gone.
bool isBeingRemoved(const QString &path);

// The host name a QLockFile records for this machine.
QString machineName();
} // namespace Locks
