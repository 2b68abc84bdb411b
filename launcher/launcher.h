// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include "start.h"
#include "versionname.h"

#include "userdata/settingsfile.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QString>

// What each launch decided, for a support engineer: the data directory, the
// version and which file named it, then what was started or why nothing
// was. The entry sends these lines to the debugger channel (Windows) and
// nowhere else.
constexpr char DecisionsCategory[] = "quillora.launcher";
Q_DECLARE_LOGGING_CATEGORY(launcherDecisions)

// The whole launch: prepares the user's data directory, chooses the version
// to run and starts that version's "Quillora.exe" detached, as the launcher
// itself was started (`given`). Nothing is reported but to the debugger
// channel; whatever fails, the launch goes on as far as it can.
class Launcher
{
public:
    void run(const Inheritance &given) const;

    // The version named by the data directory's "setting.ini", open in
    // `data` (read from `dataPath`): the current version, else the previous
    // one, else "1.0.0". While that file names no version, a legacy
    // "setting.ini" still in `installationDirectory` names it. Empty when
    // the file that names the version exists but cannot be read: then
    // nothing is started rather than a guess.
    static QString versionToRun(const OpenedSettings &data, const QString &dataPath,
                                const QString &installationDirectory, const QDeadlineTimer &deadline);

    // The version's directory, strictly below the installation directory;
    // empty for a version that would lead anywhere else, or that is no plain
    // folder name under `rules`, and when no installation directory is
    // known (empty or relative).
    static QString versionDirectoryFor(const QString &installationDirectory, const QString &version,
                                       NameRules rules = systemNameRules());

    // Enters the version's directory below `installationDirectory` and starts
    // the "Quillora.exe" there, if there is one. No other version is tried in
    // its place, and an empty version starts nothing.
    static void startVersion(const QString &installationDirectory, const QString &version, const Inheritance &given);
};
