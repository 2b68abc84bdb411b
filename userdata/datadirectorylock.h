// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QLockFile>
#include <QString>

// Serialises the launchers that write into one data directory. Two launchers
// started by one double-click must not both decide that a file is missing
// and then both write it: every check that leads to a write, and the write,
// happen while this lock is held.
//
// The lock is taken on construction, waiting until `deadline` at most, and
// released on destruction. A lock nobody holds any more (its launcher died)
// is taken over at once; one that can never be taken is given up at once.
// Scratch files of interrupted writes, and the settings locks a launcher
// left, are swept when the lock is taken and again before it is given back,
// so that none outlives a launch that held it: the lock file is then the
// only trace a killed launcher can leave, and one look for it tells a later
// launch whether there is anything to clean up.
class DataDirectoryLock
{
public:
    DataDirectoryLock(const QString &dataDirectory, const QDeadlineTimer &deadline);
    ~DataDirectoryLock();
    DataDirectoryLock(const DataDirectoryLock &) = delete;
    DataDirectoryLock &operator=(const DataDirectoryLock &) = delete;

    bool isLocked() const { return m_lock.isLocked(); }

    static QString lockFilePath(const QString &dataDirectory);

private:
    QString m_dataDirectory;
    QLockFile m_lock;
};
