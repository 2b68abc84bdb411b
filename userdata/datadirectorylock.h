#pragma once

#include <QLockFile>
#include <QString>

// Serialises the launchers that write into one data directory. Two launchers
// started by one double-click must not both decide that a file is missing
// and then both write it: every check that leads to a write, and the write,
// happen while this lock is held.
//
// The lock is taken on construction, waiting a few seconds at most, and
// released on destruction. A lock left behind by a launcher that died is
// taken over promptly.
class DataDirectoryLock
{
public:
    explicit DataDirectoryLock(const QString &dataDirectory);

    bool isLocked() const { return m_lock.isLocked(); }

    static QString pathIn(const QString &dataDirectory);

private:
    QLockFile m_lock;
};
