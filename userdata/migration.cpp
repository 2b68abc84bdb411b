#include "migration.h"

#include "platform.h"
#include "settingsfile.h"
#include "settingskeys.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace {

// Whether `moved` now lives in the data directory's "setting.ini" at `path`,
// or needs not, because that file names a version of its own.
bool carryOver(const QString &path, const Versions &moved, const QDeadlineTimer &deadline)
{
    const OpenedSettings data = openSettingsFile(path, deadline);
    if (data.state == OpenedSettings::Unreadable)
        return false;
    if (data.state == OpenedSettings::Missing) {
        return writeSettingsFile(path, {{Keys::CurrentVersion, moved.current},
                                        {Keys::PreviousVersion, moved.previous},
                                        {Keys::SoftwareCode, QString()}});
    }
    // An empty file, or one holding only a code, would otherwise win over
    // the versions the user has installed.
    if (!Versions::in(*data.settings).isEmpty() || moved.isEmpty())
        return true;
    return writeSettingsFile(path, {{Keys::CurrentVersion, moved.current}, {Keys::PreviousVersion, moved.previous}});
}

// The new file's directory entry must reach the disk before the versions'
// only other copy goes; and so must the data directory's own entry when this
// launch made it.
bool isDurable(const QString &dataDirectory, bool newDirectory)
{
    return Platform::syncDirectory(dataDirectory)
        && (!newDirectory || Platform::syncDirectory(QFileInfo(dataDirectory).path()));
}

} // namespace

QString legacySettingsPath()
{
    return pathIn(QCoreApplication::applicationDirPath(), Names::Settings);
}

void migrateLegacySettings(const QString &dataDirectory, bool newDirectory, const QDeadlineTimer &deadline)
{
    const QString legacyPath = legacySettingsPath();
    Versions moved;
    {
        // Values never read must not be deleted with the file.
        const OpenedSettings legacy = openSettingsFile(legacyPath, deadline);
        if (legacy.state != OpenedSettings::Open)
            return;
        moved = Versions::in(*legacy.settings);
    }
    if (carryOver(pathIn(dataDirectory, Names::Settings), moved, deadline) && isDurable(dataDirectory, newDirectory))
        Platform::removeFile(legacyPath);
}
