// SPDX-License-Identifier: MIT
// The launch sequence.
#include "launcher.h"

#include "softwarecode.h"

#include "userdata/datadirectory.h"
#include "userdata/migration.h"
#include "userdata/platform.h"
#include "userdata/settingsfile.h"
#include "userdata/settingskeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

namespace {

// The longest a launch waits, for all its waits together: for another
// launcher's lock, for a file another program holds. Far longer than another
// launcher's writes take, short enough that a stuck one never keeps the
// application from starting for long.
constexpr int MaxWaitMs = 3000;

} // namespace

void Launcher::run() const
{
    const QDeadlineTimer deadline(MaxWaitMs);
    // Asked once: every step that reads from, removes from or starts in the
    // installation works with this one answer.
    const QString installationDirectory = QCoreApplication::applicationDirPath();
    const QString dataDirectory = prepareDataDirectory(installationDirectory, deadline);
    startVersion(installationDirectory, versionToRun(dataDirectory, installationDirectory, deadline));
}

QString Launcher::versionToRun(const QString &dataDirectory, const QString &installationDirectory,
                               const QDeadlineTimer &deadline)
{
    Versions versions;
    // Without a data directory the path would be "/setting.ini", a file at
    // the filesystem root that is not ours to read or write.
    if (!dataDirectory.isEmpty()) {
        const OpenedSettings data = openSettingsFile(pathIn(dataDirectory, Names::Settings), deadline);
        if (data.state == OpenedSettings::Unreadable)
            return QString();
        if (data.settings) {
            versions = Versions::from(*data.settings);
            ensureSoftwareCode(*data.settings, deadline);
        }
    }
    // A legacy file still there holds versions that have not reached the
    // data directory (it could not be written, or its lock not be had).
    if (versions.isEmpty()) {
        const OpenedSettings legacy = openSettingsFile(legacySettingsPath(installationDirectory), deadline);
        if (legacy.state == OpenedSettings::Unreadable)
            return QString();
        if (legacy.settings)
            versions = Versions::from(*legacy.settings);
    }
    return versions.toRun();
}

QString Launcher::versionDirectoryFor(const QString &installationDirectory, const QString &version)
{
    if (!Platform::isPlainVersionName(version))
        return QString();
    // Compared as text, links left alone: what lies inside the installation
    // is the installer's, and "setting.ini" may have been written by anyone
    // running as the user.
    const QString root = QDir::cleanPath(installationDirectory);
    const QString inside = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    const QString directory = QDir::cleanPath(inside + version);
    return directory.startsWith(inside) && directory.size() > inside.size() ? directory : QString();
}

void Launcher::startVersion(const QString &installationDirectory, const QString &version)
{
    // The version is a directory name exactly as stored, blanks and all.
    const QString versionDirectory = versionDirectoryFor(installationDirectory, version);
    if (versionDirectory.isEmpty())
        return;
    QDir::setCurrent(versionDirectory);
    const QString target = versionDirectory + QLatin1Char('/') + QLatin1String(Names::Executable);
    if (!QFileInfo(target).isFile())
        return;
    // The full path, never the bare name: a bare name is looked up on PATH
    // (and on Windows beside the launcher first), which would start some
    // other "Quillora.exe" than the one just checked.
    QProcess::startDetached(target, QStringList(), versionDirectory);
}
