// SPDX-License-Identifier: MIT
// Locating and preparing the user's data directory.
#include "datadirectory.h"

#include "datadirectorylock.h"
#include "migration.h"
#include "platform.h"
#include "seeding.h"
#include "settingskeys.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Checked without the lock: most launches find nothing to write.
bool mustWrite(const QString &dataDirectory, const QString &installationDirectory)
{
    return !QFileInfo::exists(pathIn(dataDirectory, Names::UserSettings))
        || QFileInfo::exists(legacySettingsPath(installationDirectory));
}

void seedAndMigrate(const QString &dataDirectory, const QString &installationDirectory, bool newDirectory,
                    const QDeadlineTimer &deadline)
{
    const bool writing = mustWrite(dataDirectory, installationDirectory);
    // A lock file found with nothing to write is mostly one a launcher left
    // when it died: one try, without waiting, clears it and whatever that
    // launcher left. A live holder keeps it, and this launch goes on.
    if (!writing && !QFileInfo::exists(DataDirectoryLock::lockFilePath(dataDirectory)))
        return;
    const DataDirectoryLock lock(dataDirectory, writing ? deadline : QDeadlineTimer(0));
    if (!lock.isLocked() || !writing)
        return;
    seedUserSettings(dataDirectory);
    migrateLegacySettings(dataDirectory, installationDirectory, newDirectory, deadline);
}

} // namespace

QString dataDirectoryFor(const QString &configurationBase)
{
    // A relative base would put the data wherever the working directory
    // happens to be.
    if (!QDir::isAbsolutePath(configurationBase))
        return QString();
    return pathIn(configurationBase, Names::DataDirectory);
}

QString prepareDataDirectory(const QString &installationDirectory, const QDeadlineTimer &deadline)
{
    return prepareDataDirectory(dataDirectoryFor(Platform::userConfigurationBase()), installationDirectory, deadline);
}

QString prepareDataDirectory(const QString &dataDirectory, const QString &installationDirectory,
                             const QDeadlineTimer &deadline)
{
    if (dataDirectory.isEmpty())
        return QString();
    const Platform::PrivateCreation privateCreation;
    const bool newDirectory = !QFileInfo::exists(dataDirectory);
    if (newDirectory)
        QDir().mkpath(dataDirectory);
    seedAndMigrate(dataDirectory, installationDirectory, newDirectory, deadline);
    const QString logs = pathIn(dataDirectory, Names::Logs);
    if (!QFileInfo(logs).isDir())
        QDir().mkdir(logs);
    return dataDirectory;
}
