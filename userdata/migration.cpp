// SPDX-License-Identifier: MIT
// Carrying an older release's "setting.ini" over into the data directory.
#include "migration.h"

#include "datadirectory.h"
#include "platform.h"
#include "settingsfile.h"
#include "settingskeys.h"

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
        return writeSettingsFile(path, {{QLatin1String(Keys::CurrentVersion), moved.current},
                                        {QLatin1String(Keys::PreviousVersion), moved.previous},
                                        {QLatin1String(Keys::SoftwareCode), QString()}});
    }
    // An empty file, or one holding only a code, would otherwise win over
    // the versions the user has installed.
    if (!Versions::from(*data.settings).isEmpty() || moved.isEmpty())
        return true;
    return writeSettingsFile(path, {{QLatin1String(Keys::CurrentVersion), moved.current},
                                    {QLatin1String(Keys::PreviousVersion), moved.previous}});
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

QString legacySettingsPath(const QString &installationDirectory)
{
    return pathIn(installationDirectory, Names::Settings);
}

void migrateLegacySettings(const QString &dataDirectory, const QString &installationDirectory, bool newDirectory,
                           const QDeadlineTimer &deadline)
{
    const QString legacyPath = legacySettingsPath(installationDirectory);
    Versions moved;
    {
        // Values never read must not be deleted with the file.
        const OpenedSettings legacy = openSettingsFile(legacyPath, deadline);
        if (legacy.state != OpenedSettings::Open)
            return;
        moved = Versions::from(*legacy.settings);
    }
    if (carryOver(pathIn(dataDirectory, Names::Settings), moved, deadline) && isDurable(dataDirectory, newDirectory))
        Platform::removeFile(legacyPath);
}
