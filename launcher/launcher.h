#pragma once

#include <QString>

// The whole launch: prepares the user's data directory, chooses the version
// to run and starts that version's "Quillora.exe" detached. Nothing is
// reported; whatever fails, the launch goes on as far as it can.
class Launcher
{
public:
    void run() const;

    // The version named by the data directory's "setting.ini": the current
    // version, else the previous one, else "1.0.0". Makes sure the file holds
    // a software code. With no data directory no file is read or written.
    static QString versionToRun(const QString &dataDirectory);

    // Enters the version's directory below the installation directory and
    // starts the "Quillora.exe" there, if there is one. No other version is
    // tried in its place.
    static void startVersion(const QString &version);
};
