// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Carrying an older release's "setting.ini" over into the data directory.
#include "migration.h"

#include "datadirectory.h"
#include "platform.h"
#include "settingsfile.h"
#include "settingskeys.h"

#include <QFileInfo>

#include <algorithm>

namespace {

// A version as it moves: the value it is (a list stays a list), and the
// empty text for one the legacy file does not have.
QVariant moving(const QVariant &version)
{
    return version.isValid() ? version : QVariant(QString());
}

bool namesVersion(const SettingsFileState &file)
{
    return file.holds(Keys::CurrentVersion) || file.holds(Keys::PreviousVersion);
}

// Whether `moved` now lives in the data directory's "setting.ini" at `path`,
// or needs not, because that file names a version of its own.
bool carryOver(const QString &path, const Versions &moved, const QDeadlineTimer &deadline)
{
    // Looked at without the lock: nearly always the file names a version,
    // and nothing is to be written.
    const OpenedSettings data = openSettingsFile(path, deadline);
    if (data.state == OpenedSettings::Unreadable)
        return false;
    // An empty file, or one holding only a code, would otherwise win over
    // the versions the user has installed.
    if (data.state == OpenedSettings::Open && (!data.versions.isEmpty() || moved.isEmpty()))
        return true;
    const SettingsValues versions = {{QLatin1String(Keys::CurrentVersion), moving(moved.current)},
                                     {QLatin1String(Keys::PreviousVersion), moving(moved.previous)}};
    // Decided again on the file as the application's lock finds it: a
    // version it saved meanwhile stands, and the old file stays until a
    // later launch finds that version in place.
    const auto decide = [&versions](const SettingsFileState &file) {
        if (!file.exists())
            return versions + SettingsValues {{QLatin1String(Keys::SoftwareCode), QString()}};
        return namesVersion(file) ? SettingsValues() : versions;
    };
    return writeSettingsFile(path, decide, deadline) == SettingsWrite::Written;
}

// The new file's directory entry must reach the disk before the versions'
// only other copy goes; and so must the data directory's own entry, and
// that of every folder this launch created on the way to it. The file may
// be another launcher's, which died before it made all that durable: its
// text it made durable before it put the file in place.
bool madeDurable(const QString &dataDirectory, const QStringList &createdDirectories)
{
    QStringList folders {dataDirectory};
    for (const QString &entry : QStringList {dataDirectory} + createdDirectories)
        folders.append(QFileInfo(entry).path());
    folders.removeDuplicates();
    return std::all_of(folders.begin(), folders.end(), Platform::syncDirectory);
}

} // namespace

bool hasLegacySettingsToMove(const QString &dataDirectory, const QString &installationDirectory,
                             const QDeadlineTimer &deadline)
{
    const QString legacy = legacySettingsPath(installationDirectory);
    if (!QFileInfo::exists(legacy))
        return false;
    if (Platform::mayRemove(legacy))
        return true;
    const OpenedSettings data = openSettingsFile(pathIn(dataDirectory, Names::Settings), deadline);
    return data.state != OpenedSettings::Open || data.versions.isEmpty();
}

OpenedSettings::State readLegacyVersions(const QString &installationDirectory, const QDeadlineTimer &deadline,
                                         Versions *versions)
{
    const OpenedSettings legacy = openSettingsFile(legacySettingsPath(installationDirectory), deadline);
    if (legacy.state == OpenedSettings::Open)
        *versions = legacy.versions;
    return legacy.state;
}

QString legacySettingsPath(const QString &installationDirectory)
{
    return installationDirectory.isEmpty() ? QString() : pathIn(installationDirectory, Names::Settings);
}

void migrateLegacySettings(const QString &dataDirectory, const QString &installationDirectory,
                           const QStringList &createdDirectories, const QDeadlineTimer &deadline)
{
    const QString legacyPath = legacySettingsPath(installationDirectory);
    Versions moved;
    // Values never read must not be deleted with the file.
    if (readLegacyVersions(installationDirectory, deadline, &moved) != OpenedSettings::Open)
        return;
    if (carryOver(pathIn(dataDirectory, Names::Settings), moved, deadline)
        && madeDurable(dataDirectory, createdDirectories))
        Platform::removeFile(legacyPath);
}
