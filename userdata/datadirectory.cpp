#include "datadirectory.h"

#include "datadirectorylock.h"
#include "migration.h"
#include "privatecreation.h"
#include "seeding.h"
#include "settingsfile.h"
#include "settingskeys.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

QString pathIn(const QString &dataDirectory, const char *name)
{
    return QStringLiteral("%1/%2").arg(dataDirectory, QLatin1String(name));
}

// One look, without the lock, tells whether this launch has anything to
// write or to clean up; most launches have not and never wait for a lock. A
// lock file or scratch files still there were left by a launcher that died
// (or by a removal that failed); taking the lock clears the one, the lock
// holder removes the others.
bool needsUpkeep(const QString &dataDirectory)
{
    const QStringList entries = QDir(dataDirectory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden
                                                              | QDir::System, QDir::NoSort);
    return !entries.contains(QLatin1String(Names::UserSettings)) || entries.contains(QLatin1String(Names::Lock))
        || std::any_of(entries.cbegin(), entries.cend(), isScratchLeftover)
        || QFileInfo::exists(legacySettingsPath());
}

void seedAndMigrate(const QString &dataDirectory)
{
    if (!needsUpkeep(dataDirectory))
        return;
    const DataDirectoryLock lock(dataDirectory);
    if (!lock.isLocked())
        return;
    removeScratchLeftovers(dataDirectory);
    seedUserSettings(dataDirectory);
    migrateLegacySettings(dataDirectory);
}

} // namespace

QString dataDirectoryFor(const QStringList &configLocations)
{
    if (configLocations.isEmpty())
        return QString();
    const QString &first = configLocations.first();
    const int lastSlash = first.lastIndexOf(QLatin1Char('/'));
    // Qt's locations are absolute. A bare name would put the data wherever
    // the working directory happens to be, so it counts as no location.
    if (lastSlash < 0)
        return QString();
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
