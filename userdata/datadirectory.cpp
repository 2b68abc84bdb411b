#include "datadirectory.h"

#include "datadirectorylock.h"
#include "migration.h"
#include "privatecreation.h"
#include "seeding.h"
#include "settingskeys.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// Checked without the lock, so that a launch with nothing to write never
// waits for one. A lock file still there was left by a launcher that died
// while writing; taking the lock clears it and whatever that launcher left.
bool needsUpkeep(const QString &dataDirectory)
{
    return !QFileInfo::exists(pathIn(dataDirectory, Names::UserSettings))
        || QFileInfo::exists(DataDirectoryLock::pathIn(dataDirectory))
        || QFileInfo::exists(legacySettingsPath());
}

void seedAndMigrate(const QString &dataDirectory)
{
    if (!needsUpkeep(dataDirectory))
        return;
    const DataDirectoryLock lock(dataDirectory);
    if (!lock.isLocked())
        return;
    seedUserSettings(dataDirectory);
    migrateLegacySettings(dataDirectory);
}

} // namespace

QString dataDirectoryFor(const QStringList &configLocations)
{
    if (configLocations.isEmpty())
        return QString();
    const QString &first = configLocations.first();
    // Qt's locations are absolute, unless the environment hands Qt a relative
    // one (Qt 5 takes a relative XDG_CONFIG_HOME as it is). That would put
    // the data wherever the working directory happens to be, so it counts as
    // no location.
    if (QDir::isRelativePath(first))
        return QString();
    const int lastSlash = first.lastIndexOf(QLatin1Char('/'));
    return first.left(lastSlash) + QLatin1Char('/') + QLatin1String(Names::DataDirectory);
}

QString prepareDataDirectory()
{
    return prepareDataDirectory(QStandardPaths::standardLocations(QStandardPaths::AppConfigLocation));
}

QString prepareDataDirectory(const QStringList &configLocations)
{
    const QString dataDirectory = dataDirectoryFor(configLocations);
    if (dataDirectory.isEmpty())
        return QString();
    const PrivateCreation privateCreation;
    if (!QFileInfo::exists(dataDirectory))
        QDir().mkpath(dataDirectory);
    seedAndMigrate(dataDirectory);
    const QString logs = pathIn(dataDirectory, Names::Logs);
    if (!QFileInfo(logs).isDir())
        QDir().mkdir(logs);
    return dataDirectory;
}
