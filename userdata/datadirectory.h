// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QString>

// The entry `name` of `directory`, "%1/%2" as every path here is formed.
inline QString pathIn(const QString &directory, const char *name)
{
    return QStringLiteral("%1/%2").arg(directory, QLatin1String(name));
}

// The user's data directory for a configuration base: the base plus
// "/Quillora". Only an absolute base is somebody's; for an empty or relative
// one the result is empty, meaning no location is known.
QString dataDirectoryFor(const QString &configurationBase);

// Makes the data directory ready for a launch: creates it and its "logs"
// directory, seeds "user.ini" and moves a legacy "setting.ini" in. Returns
// the directory, or an empty string when no location is known; then nothing
// anywhere is created, read or written. No wait for another launcher goes
// past `deadline`, and a launch with nothing to write waits for none.
// A legacy "setting.ini" is looked for in `installationDirectory`.
QString prepareDataDirectory(const QString &installationDirectory, const QDeadlineTimer &deadline);
// The same for a data directory already located (empty: none).
QString prepareDataDirectory(const QString &dataDirectory, const QString &installationDirectory,
                             const QDeadlineTimer &deadline);
