// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The lock that launchers writing into one data directory share.
#include "datadirectorylock.h"

#include "datadirectory.h"
#include "lockfile.h"
#include "platform.h"
#include "settingsfile.h"
#include "settingskeys.h"

namespace {

// Whatever locks a launcher that died, failed or was run by another user
// left: Qt's settings locks ("<file>.lock", which the application's
// QSettings takes too, and would otherwise wait 30 s for) and the helpers
// beside them and beside this lock. A lock a live program holds is never
// touched.
void removeLeftLocks(const QString &dataDirectory)
{
    const QString rmlock = QStringLiteral(".rmlock");
    for (const char *name : {Names::UserSettings, Names::Settings}) {
        const QString path = pathIn(dataDirectory, name) + QStringLiteral(".lock");
        clearUnheldLock(path);
        clearUnheldLock(path + rmlock);
    }
    clearUnheldLock(DataDirectoryLock::lockFilePath(dataDirectory) + rmlock);
}

void removeLeftovers(const QString &dataDirectory)
{
    removeScratchLeftovers(dataDirectory);
    removeLeftLocks(dataDirectory);
}

} // namespace

DataDirectoryLock::DataDirectoryLock(const QString &dataDirectory, const QDeadlineTimer &deadline)
    : m_dataDirectory(dataDirectory)
    , m_lock(lockFilePath(dataDirectory))
{
    // Like everything else the launcher creates, for its owner alone.
    const Platform::PrivateCreation privateCreation;
    if (takeLock(m_lock, lockFilePath(dataDirectory), deadline))
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
