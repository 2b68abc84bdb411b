// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include "systemlock.h"

#include <QDeadlineTimer>
#include <QString>

// Serialises the launchers that write into one data directory. Two launchers
// started by one double-click must not both decide that a file is missing
// and then both write it: every check that leads to a write, and the write,
// happen while this lock is held.
//
// The lock is taken on construction, waiting until `deadline` at most, and
// released on destruction; the system releases it when a launcher dies, so
// none is ever left to judge. Scratch files of interrupted writes, and the
// settings locks a launcher left, are swept when the lock is taken and again
// before it is given back.
class DataDirectoryLock
{
public:
    DataDirectoryLock(const QString &dataDirectory, const QDeadlineTimer &deadline);
    ~DataDirectoryLock();
    DataDirectoryLock(const DataDirectoryLock &) = delete;
    DataDirectoryLock &operator=(const DataDirectoryLock &) = delete;

    bool isLocked() const { return m_lock.isLocked(); }

    static QString lockFilePath(const QString &dataDirectory);

    // Whether a killed or failed launch left anything in `dataDirectory`
    // for the lock's holder to sweep: one look at its entries, which is all
    // a launch with nothing to write pays.
    static bool hasLeftovers(const QString &dataDirectory);

private:
    QString m_dataDirectory;
    SystemLock m_lock;
};
