// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

class QSettings;

// Far larger than any settings file the launcher or the application writes.
// A file this big is not parsed (that would cost seconds and gigabytes on
// every launch) and never rewritten: it counts as unreadable.
constexpr qint64 MaxSettingsFileSize = 16 * 1024 * 1024;

// A settings file opened for reading, or why it could not be.
struct OpenedSettings
{
    enum State { Missing, Unreadable, Open };
    State state = Missing;
    std::unique_ptr<QSettings> settings; // set when Open
};

// Opens the INI file at `path` for reading. A folder or a dangling link there
// counts as missing. A file that exists but cannot be read, or is oversized,
// is unreadable, which is not the same: what it holds is unknown. While
// another program holds the file (Windows), reading is retried until
// `deadline`.
OpenedSettings openSettingsFile(const QString &path, const QDeadlineTimer &deadline);

// The two version keys of a "setting.ini".
struct Versions
{
    QString current;
    QString previous;

    static Versions from(const QSettings &settings);
    bool isEmpty() const { return current.isEmpty() && previous.isEmpty(); }
    // The current version, else the previous one, else "1.0.0".
    QString toRun() const;
};

// Key and value pairs in the order they are written.
using SettingsValues = QVector<QPair<QString, QVariant>>;

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
// killed, or a removal failed) from the data directory: only the names the
// launcher itself gives them, never a file it did not make. Only the lock
// holder may do so, as they could be another launcher's, live.
void removeScratchLeftovers(const QString &dataDirectory);
