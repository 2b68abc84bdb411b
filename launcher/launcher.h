// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QString>

// The whole launch: prepares the user's data directory, chooses the version
// to run and starts that version's "Quillora.exe" detached. Nothing is
// reported; whatever fails, the launch goes on as far as it can.
class Launcher
{
public:
    void run() const;

    // The version named by the data directory's "setting.ini": the current
    // version, else the previous one, else "1.0.0". While that file names no
    // version, a legacy "setting.ini" still in `installationDirectory` names
    // it. Makes sure the data directory's file holds a software code.
    // Empty when the file that names the version exists but cannot be read:
    // then nothing is started rather than a guess.
    static QString versionToRun(const QString &dataDirectory, const QString &installationDirectory,
                                const QDeadlineTimer &deadline);

    // The version's directory, strictly below the installation directory;
    // empty for a version that would lead anywhere else.
    static QString versionDirectoryFor(const QString &installationDirectory, const QString &version);

    // Enters the version's directory below `installationDirectory` and starts
    // the "Quillora.exe" there, if there is one. No other version is tried in
    // its place.
    static void startVersion(const QString &installationDirectory, const QString &version);
};
