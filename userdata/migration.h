// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include "settingsfile.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

// Older releases kept "setting.ini" in `installationDirectory`. Moves its
// two version keys into a new "setting.ini" in the data directory, with an
// empty software code (so the installation gets a code of its own), and
// removes the old file. When the data directory already has a "setting.ini"
// that names a version, that one wins and the old file is only removed; one
// that names none gets the old file's versions, and keeps its other keys.
//
// The old file goes only once its values are safe: while the new file cannot
// be written, read back and made durable, or either file cannot be read, it
// stays exactly as it was and the next launch tries again.
// `createdDirectories` are the folders this launch created on the way to
// the data directory, whose entries must be made durable too. The caller
// holds the data directory's lock.
void migrateLegacySettings(const QString &dataDirectory, const QString &installationDirectory,
                           const QStringList &createdDirectories, const QDeadlineTimer &deadline);

// Whether a legacy "setting.ini" is left for this launch to move or remove.
// One nobody may remove (a per-machine installation the user cannot write)
// beside a data file that names a version leaves nothing to do, and costs a
// launch no lock and no sync.
bool hasLegacySettingsToMove(const QString &dataDirectory, const QString &installationDirectory,
                             const QDeadlineTimer &deadline);

// The versions a legacy "setting.ini" still in `installationDirectory`
// names, into `versions` when it is open; whether it is missing, unreadable
// or was read.
OpenedSettings::State readLegacyVersions(const QString &installationDirectory, const QDeadlineTimer &deadline,
                                         Versions *versions);

// The installation directory's "setting.ini", whether or not it exists;
// empty when no installation directory is known.
QString legacySettingsPath(const QString &installationDirectory);
