#pragma once

#include <QString>
#include <QStringList>

// The user's data directory for a list of Qt's AppConfigLocation entries:
// the first entry's parent plus "/Quillora". Cutting the last segment (the
// application's name, which Qt takes from the executable) keeps the data
// directory the same whatever the launcher's file is called. Empty when no
// location is known.
QString dataDirectoryFor(const QStringList &configLocations);

// Makes the data directory ready for a launch: creates it and its "logs"
// directory, seeds "user.ini" and moves a legacy "setting.ini" in. Returns
// the directory, or an empty string when no location is known; then nothing
// anywhere is created, read or written.
QString prepareDataDirectory();
QString prepareDataDirectory(const QStringList &configLocations);
