// SPDX-License-Identifier: MIT
// The lock that launchers writing into one data directory share.
#include "datadirectorylock.h"

#include "datadirectory.h"
#include "settingsfile.h"
#include "settingskeys.h"

#include <QDateTime>
#include <QFileInfo>

namespace {
// A launcher writes its details into the lock file right after creating it,
// so an empty lock file older than this was left by one killed in between.
// Qt's default of 30 s would keep the next launch waiting that long. A live
// owner is safe even so: it holds a native lock on the file, which stops
// anyone else from removing it.
constexpr int StaleAfterMs = 500;

// Qt serialises the removal of a stale lock with a helper lock file beside
// it, which it takes for stale only after a fixed 30 s. One left behind (a
// full disk leaves it empty) would keep every launch for that long from the
// work that needs the lock, so it goes on the same short terms as the lock.
// QLockFile's own removal leaves a live holder's file alone: the holder has
// a native lock on it (Unix) or keeps it open (Windows).
void removeStaleHelper(const QString &lockPath)
{
    const QString helperPath = lockPath + QStringLiteral(".rmlock");
    const QFileInfo helper(helperPath);
    if (helper.exists() && qAbs(helper.lastModified().msecsTo(QDateTime::currentDateTime())) > StaleAfterMs)
        QLockFile(helperPath).removeStaleLockFile();
}

int millisecondsUntil(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}
} // namespace

DataDirectoryLock::DataDirectoryLock(const QString &dataDirectory, const QDeadlineTimer &deadline)
    : m_dataDirectory(dataDirectory)
    , m_lock(lockFilePath(dataDirectory))
{
    m_lock.setStaleLockTime(StaleAfterMs);
    removeStaleHelper(lockFilePath(dataDirectory));
    if (m_lock.tryLock(millisecondsUntil(deadline)))
        removeScratchLeftovers(m_dataDirectory);
}

DataDirectoryLock::~DataDirectoryLock()
{
    // A removal that failed during a write gets a second chance.
    if (m_lock.isLocked())
        removeScratchLeftovers(m_dataDirectory);
}

QString DataDirectoryLock::lockFilePath(const QString &dataDirectory)
{
    return pathIn(dataDirectory, Names::Lock);
}
