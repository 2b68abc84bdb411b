#include "datadirectory.h"

#include "datadirectorylock.h"
#include "migration.h"
#include "platform.h"
#include "privatecreation.h"
#include "seeding.h"
#include "settingskeys.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Checked without the lock: most launches find nothing to write.
bool mustWrite(const QString &dataDirectory)
{
    return !QFileInfo::exists(pathIn(dataDirectory, Names::UserSettings)) || QFileInfo::exists(legacySettingsPath());
}

void seedAndMigrate(const QString &dataDirectory, bool newDirectory, const QDeadlineTimer &deadline)
{
    const bool writing = mustWrite(dataDirectory);
    // A lock file found with nothing to write is mostly one a launcher left
    // when it died: one try, without waiting, clears it and whatever that
    // launcher left. A live holder keeps it, and this launch goes on.
    if (!writing && !QFileInfo::exists(DataDirectoryLock::pathIn(dataDirectory)))
        return;
    const DataDirectoryLock lock(dataDirectory, writing ? deadline : QDeadlineTimer(0));
    if (!lock.isLocked() || !writing)
        return;
    seedUserSettings(dataDirectory);
    migrateLegacySettings(dataDirectory, newDirectory, deadline);
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

QString prepareDataDirectory(const QDeadlineTimer &deadline)
{
    return prepareDataDirectory(dataDirectoryFor(Platform::userConfigurationBase()), deadline);
}

QString prepareDataDirectory(const QString &dataDirectory, const QDeadlineTimer &deadline)
{
    if (dataDirectory.isEmpty())
        return QString();
    const PrivateCreation privateCreation;
    const bool newDirectory = !QFileInfo::exists(dataDirectory);
    if (newDirectory)
        QDir().mkpath(dataDirectory);
    seedAndMigrate(dataDirectory, newDirectory, deadline);
    const QString logs = pathIn(dataDirectory, Names::Logs);
    if (!QFileInfo(logs).isDir())
        QDir().mkdir(logs);
    return dataDirectory;
}
