// SPDX-License-Identifier: MIT
// The lock that launchers writing into one data directory share.
#include "datadirectorylock.h"

#include "datadirectory.h"
#include "platform.h"
#include "settingsfile.h"
#include "settingskeys.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

namespace {
// A launcher writes its details into the lock file right after creating it,
// so an empty lock file older than this was left by one killed in between.
// Qt's default of 30 s would keep the next launch waiting that long. A live
// owner is safe even so: it holds a native lock on the file, which stops
// anyone else from removing it.
constexpr int StaleAfterMs = 500;

bool isOlderThanStale(const QFileInfo &file)
{
    return qAbs(file.lastModified().msecsTo(QDateTime::currentDateTime())) > StaleAfterMs;
}

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
    if (helper.exists() && isOlderThanStale(helper))
        QLockFile(helperPath).removeStaleLockFile();
}

// Qt's lock of a settings file ("<file>.lock"), which the application's
// QSettings takes too, as a launcher may leave it: when its removal failed
// (it names this process), when the launcher was killed before writing its
// details into it (empty, and older than the stale time: Qt would keep the
// application's next save waiting 30 s for it), or killed holding it (it
// names a process that is gone, which Qt itself takes for stale). A lock
// that names another live process is never touched, nor is a live holder's.
void removeLeftSettingsLocks(const QString &dataDirectory)
{
    for (const char *name : {Names::UserSettings, Names::Settings}) {
        const QString path = pathIn(dataDirectory, name) + QStringLiteral(".lock");
        const QFileInfo file(path);
        if (!file.isFile())
            continue;
        QLockFile lock(path);
        qint64 pid = 0;
        QString host;
        QString application;
        const bool ours = lock.getLockInfo(&pid, &host, &application) && pid == QCoreApplication::applicationPid();
        if (ours || (file.size() == 0 && isOlderThanStale(file)))
            lock.removeStaleLockFile();
        else if (lock.tryLock(0))
            lock.unlock();
    }
}

void removeLeftovers(const QString &dataDirectory)
{
    removeScratchLeftovers(dataDirectory);
    removeLeftSettingsLocks(dataDirectory);
}

} // namespace

DataDirectoryLock::DataDirectoryLock(const QString &dataDirectory, const QDeadlineTimer &deadline)
    : m_dataDirectory(dataDirectory)
    , m_lock(lockFilePath(dataDirectory))
{
    m_lock.setStaleLockTime(StaleAfterMs);
    // Like everything else the launcher creates, for its owner alone.
    const Platform::PrivateCreation privateCreation;
    removeStaleHelper(lockFilePath(dataDirectory));
    if (m_lock.tryLock(millisecondsUntil(deadline)))
        removeLeftovers(m_dataDirectory);
}

DataDirectoryLock::~DataDirectoryLock()
{
    // A removal that failed during a write gets a second chance.
    if (m_lock.isLocked())
        removeLeftovers(m_dataDirectory);
}

QString DataDirectoryLock::lockFilePath(const QString &dataDirectory)
{
    return pathIn(dataDirectory, Names::Lock);
}
