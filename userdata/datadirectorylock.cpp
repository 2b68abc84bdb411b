// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The lock that launchers writing into one data directory share.
#include "datadirectorylock.h"

#include "datadirectory.h"
#include "lockfile.h"
#include "platform.h"
#include "settingsfile.h"
#include "settingskeys.h"

#include <QDir>

#include <algorithm>

namespace {

constexpr char LockSuffix[] = ".lock";
constexpr char HelperSuffix[] = ".rmlock";

// Qt's settings locks ("<file>.lock", which the application's QSettings
// takes too, and would otherwise wait up to 30 s for), the helpers beside
// them, and the helper older launchers made beside their own lock.
QStringList leftLockNames()
{
    QStringList names {QLatin1String(Names::Lock) + QLatin1String(HelperSuffix)};
    for (const char *name : {Names::UserSettings, Names::Settings}) {
        const QString lock = QLatin1String(name) + QLatin1String(LockSuffix);
        names << lock << lock + QLatin1String(HelperSuffix);
    }
    return names;
}

// Whatever settings locks a launcher that died, failed or was run by
// another user left, judged as Qt judges them. A lock a live program holds
// is never touched.
void removeLeftLocks(const QString &dataDirectory)
{
    for (const QString &name : leftLockNames())
        clearLeftoverLock(dataDirectory + QLatin1Char('/') + name);
}

void removeLeftovers(const QString &dataDirectory)
{
    // Qt's helper locks are made on the way, for their owner alone like
    // everything else the launcher creates.
    const Platform::PrivateCreation privateCreation;
    removeScratchLeftovers(dataDirectory);
    removeLeftLocks(dataDirectory);
}

} // namespace

DataDirectoryLock::DataDirectoryLock(const QString &dataDirectory, const QDeadlineTimer &deadline)
    : m_dataDirectory(dataDirectory)
    , m_lock(lockFilePath(dataDirectory), deadline)
{
    if (m_lock.isLocked())
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

bool DataDirectoryLock::hasLeftovers(const QString &dataDirectory)
{
    const QStringList locks = leftLockNames();
    const QStringList entries = QDir(dataDirectory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
    return std::any_of(entries.begin(), entries.end(),
                       [&](const QString &name) { return locks.contains(name) || isScratchLeftover(name); });
}
