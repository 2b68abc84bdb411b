#pragma once

#include <QString>

// Older releases kept "setting.ini" in the installation directory. Moves its
// two version keys into a new "setting.ini" in the data directory, with an
// empty software code (so the installation gets a code of its own), and
// removes the old file. When the data directory already has a "setting.ini",
// that one wins and the old file is only removed.
//
// The old file goes only once its values are safe: while the new file cannot
// be written and read back, or the old one cannot be read, it stays exactly
// as it was and the next launch tries again. The caller holds the data
// directory's lock.
void migrateLegacySettings(const QString &dataDirectory);

// The installation directory's "setting.ini", whether or not it exists.
QString legacySettingsPath();
