// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Locating and preparing the user's data directory.
#include "datadirectory.h"

#include "datadirectorylock.h"
#include "migration.h"
#include "platform.h"
#include "seeding.h"
#include "settingsfile.h"
#include "settingskeys.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// Checked without the lock: most launches find nothing to write.
bool mustWrite(const QString &dataDirectory, const QString &installationDirectory, const QDeadlineTimer &deadline)
{
    return !QFileInfo::exists(pathIn(dataDirectory, Names::UserSettings))
        || hasLegacySettingsToMove(dataDirectory, installationDirectory, deadline);
}

// The folders that creating `directory` creates, itself first.
QStringList missingDirectories(const QString &directory)
{
    QStringList missing;
    for (QString path = directory; !QFileInfo::exists(path) && !missing.contains(path); path = QFileInfo(path).path())
        missing.append(path);
    return missing;
}

void seedAndMigrate(const QString &dataDirectory, const QString &installationDirectory,
                    const QStringList &createdDirectories, const QDeadlineTimer &deadline)
{
    const bool writing = mustWrite(dataDirectory, installationDirectory, deadline);
    // What a launcher that died left, found with nothing to write: one try,
    // without waiting, clears it. A live holder keeps the lock, and this
    // launch goes on.
    if (!writing && !DataDirectoryLock::hasLeftovers(dataDirectory))
        return;
    const DataDirectoryLock lock(dataDirectory, writing ? deadline : QDeadlineTimer(0));
    if (!lock.isLocked() || !writing)
        return;
    seedUserSettings(dataDirectory, deadline);
    migrateLegacySettings(dataDirectory, installationDirectory, createdDirectories, deadline);
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
    const QStringList created = missingDirectories(dataDirectory);
    if (!created.isEmpty())
        QDir().mkpath(dataDirectory);
    seedAndMigrate(dataDirectory, installationDirectory, created, deadline);
    const QString logs = pathIn(dataDirectory, Names::Logs);
    if (!QFileInfo(logs).isDir())
        QDir().mkdir(logs);
    return dataDirectory;
}
