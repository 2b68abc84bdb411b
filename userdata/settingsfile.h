#pragma once

#include "settingskeys.h"

#include <QString>

// The one way the launcher writes a settings file.
//
// Sets `values` in the INI file at `path` (created when missing), keeping
// every other key it holds. The file on disk is replaced only by a version
// that was written and read back whole, so after any failure (a full disk,
// an unwritable directory, a crash at any point) it is still the old file,
// byte for byte. A file QSettings cannot read cleanly is never replaced.
// Returns whether the new file is in place.
// The caller holds the data directory's lock.
bool writeSettingsFile(const QString &path, const SettingsValues &values);

// Removes the scratch files of writes that never finished (the launcher was
// killed, or a removal failed) from the data directory. Only the lock holder
// may do so, as they could be another launcher's, live.
void removeScratchLeftovers(const QString &dataDirectory);
