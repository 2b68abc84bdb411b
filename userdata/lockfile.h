// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QString>

class QLockFile;

// What was found at a lock file's name.
enum class LockLeftover {
    Gone,     // nothing there (any more): it was not held, and is cleared
    Held,     // a live process holds it, or whether one does cannot be told
    Permanent // it can never be taken: a folder, or a lock that cannot be removed
};

// Clears what lies at `path`, the name of a QLockFile, when no live process
// holds it: an empty file left by a launch killed before it wrote its
// details, one a full disk left, one another user left (a sudo run), a
// read-only one, a dangling link. "Held" means a live holder: on Unix its
// flock, on Windows an open handle that keeps an exclusive open out. Qt
// itself takes a lock for stale only by its age (30 s by default) or by the
// process it names being gone or another program; these leftovers name no
// process, or one that lives on in another run. Never touches a held lock.
// (lockfile_unix.cpp, lockfile_win.cpp)
LockLeftover clearUnheldLock(const QString &path);

// Takes `lock` (at `path`) by `deadline`. A lock nobody holds is cleared at
// once, with Qt's helper beside it ("<path>.rmlock"); one a live process
// holds is waited for; one that can never be taken, or not be created at
// all (a folder the user cannot write), is given up at once.
bool takeLock(QLockFile &lock, const QString &path, const QDeadlineTimer &deadline);
