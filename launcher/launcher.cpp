// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The launch sequence.
#include "launcher.h"

#include "debuggerchannel.h"
#include "softwarecode.h"

#include "userdata/datadirectory.h"
#include "userdata/migration.h"
#include "userdata/settingsfile.h"
#include "userdata/settingskeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

Q_LOGGING_CATEGORY(launcherDecisions, DecisionsCategory, QtInfoMsg)

namespace {

// The longest a launch waits, for all its waits together: for another
// launcher's lock, for a file another program holds. Far longer than another
// launcher's writes take, short enough that a stuck one never keeps the
// application from starting for long.
constexpr int MaxWaitMs = 3000;

// One line of what this launch decided, where the system has a channel for
// it. Elsewhere Qt's logging is never set up: its first category reads the
// logging rules from files and the environment, about a tenth of what a
// whole launch costs.
void tell(const QString &line)
{
    if (hasDebuggerChannel())
        qCInfo(launcherDecisions).noquote() << line;
}

// A path or a version as it stands in a line: see printable().
QString native(const QString &path)
{
    return printable(QDir::toNativeSeparators(path));
}

// Nothing starts when the file that names the version cannot be read.
QString unreadable(const QString &path)
{
    tell(QStringLiteral("nothing started: the settings %1 cannot be read").arg(native(path)));
    return QString();
}

} // namespace

void Launcher::run(const Inheritance &given) const
{
    const QDeadlineTimer deadline(MaxWaitMs);
    // Asked once: every step that reads from, removes from or starts in the
    // installation works with this one answer. When the launcher's own file
    // is replaced or deleted while it starts (an update does exactly that),
    // Qt has none to give; then nothing is read from, removed from or
    // started in any directory taken for it.
    QString installationDirectory = QCoreApplication::applicationDirPath();
    if (!QDir::isAbsolutePath(installationDirectory))
        installationDirectory.clear();
    const QString dataDirectory = prepareDataDirectory(installationDirectory, deadline);
    tell(QStringLiteral("data directory: %1")
             .arg(dataDirectory.isEmpty() ? QStringLiteral("none") : native(dataDirectory)));
    // Without a data directory the path would be "/setting.ini", a file at
    // the filesystem root that is not ours to read or write.
    const QString dataPath = dataDirectory.isEmpty() ? QString() : pathIn(dataDirectory, Names::Settings);
    const OpenedSettings data = openSettingsFile(dataPath, deadline);
    const QString version = versionToRun(data, dataPath, installationDirectory, deadline);
    if (data.state == OpenedSettings::Open)
        ensureSoftwareCode(dataPath, data.code, deadline);
    startVersion(installationDirectory, version, given);
}

QString Launcher::versionToRun(const OpenedSettings &data, const QString &dataPath,
                               const QString &installationDirectory, const QDeadlineTimer &deadline)
{
    if (data.state == OpenedSettings::Unreadable)
        return unreadable(dataPath);
    Versions versions;
    QString namedBy;
    if (data.state == OpenedSettings::Open) {
        versions = data.versions;
        namedBy = dataPath;
    }
    // A legacy file still there holds versions that have not reached the
    // data directory (it could not be written, or its lock not be had).
    if (versions.isEmpty()) {
        const QString legacyPath = legacySettingsPath(installationDirectory);
        switch (readLegacyVersions(installationDirectory, deadline, &versions)) {
        case OpenedSettings::Unreadable:
            return unreadable(legacyPath);
        case OpenedSettings::Open:
            namedBy = legacyPath;
            break;
        case OpenedSettings::Missing:
            break;
        }
    }
    if (versions.isEmpty())
        namedBy = QStringLiteral("no file, the default");
    const QString version = versions.toRun();
    if (version.isEmpty()) {
        tell(QStringLiteral("nothing started: the version in %1 is not plain text").arg(native(namedBy)));
        return version;
    }
    tell(QStringLiteral("version: %1 named by %2").arg(printable(version), native(namedBy)));
    return version;
}

QString Launcher::versionDirectoryFor(const QString &installationDirectory, const QString &version, NameRules rules)
{
    if (!QDir::isAbsolutePath(installationDirectory) || !isPlainVersionName(version, rules))
        return QString();
    // Compared as text, links left alone: what lies inside the installation
    // is the installer's, and "setting.ini" may have been written by anyone
    // running as the user.
    const QString root = QDir::cleanPath(installationDirectory);
    const QString inside = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    const QString directory = QDir::cleanPath(inside + version);
    return directory.startsWith(inside) && directory.size() > inside.size() ? directory : QString();
}

void Launcher::startVersion(const QString &installationDirectory, const QString &version, const Inheritance &given)
{
    if (version.isEmpty())
        return; // unreadable settings, already said
    if (installationDirectory.isEmpty()) {
        tell(QStringLiteral("nothing started: the launcher's own directory is unknown"));
        return;
    }
    // The version is a directory name exactly as stored, blanks and all.
    const QString versionDirectory = versionDirectoryFor(installationDirectory, version);
    if (versionDirectory.isEmpty()) {
        tell(QStringLiteral("nothing started: version %1 is refused, as it names no folder inside %2")
                 .arg(printable(version), native(installationDirectory)));
        return;
    }
    QDir::setCurrent(versionDirectory);
    const QString target = versionDirectory + QLatin1Char('/') + QLatin1String(Names::Executable);
    if (!QFileInfo(target).isFile()) {
        tell(QStringLiteral("nothing started: version %1 is not installed: %2 is missing")
                 .arg(printable(version), native(target)));
        return;
    }
    // The full path, never the bare name: a bare name is looked up on PATH
    // (and on Windows beside the launcher first), which would start some
    // other "Quillora.exe" than the one just checked.
    QString why;
    if (startApplication(target, versionDirectory, given, &why))
        tell(QStringLiteral("started %1").arg(native(target)));
    else
        tell(QStringLiteral("nothing started: starting %1 failed: %2").arg(native(target), printable(why)));
}
