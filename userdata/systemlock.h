// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QString>

// A lock on the file at `path` that the system itself lets go of when its
// holder ends, however it ends: on Unix an exclusive flock, on Windows a
// handle that shares nothing. Where only launchers meet, nothing is ever
// left to judge stale, whatever killed one. The file itself stays; only the
// lock on it comes and goes.
//
// Taken on construction, waiting until `deadline` at most, and given back on
// destruction. One that can never be had (a folder of that name, a folder
// the user cannot write) is given up at once.
// (systemlock_unix.cpp, systemlock_win.cpp)
class SystemLock
{
public:
    SystemLock(const QString &path, const QDeadlineTimer &deadline);
    ~SystemLock();
    SystemLock(const SystemLock &) = delete;
    SystemLock &operator=(const SystemLock &) = delete;

    bool isLocked() const { return m_handle != NoHandle; }

private:
    static constexpr qintptr NoHandle = -1;
    qintptr m_handle = NoHandle; // a descriptor, or a HANDLE
};
