// SPDX-FileCopyrightText: The Quillora launcher contributors
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

// Opens the INI file at `path` (empty: none) for reading. Only "no such
// file" is missing, and so is a folder or a dangling link there. Anything
// else that keeps the file from being read is unreadable, which is not the
// same: what it holds is unknown. Unreadable are a file that cannot be read
// or whose existence cannot be learned (its folder cannot be searched), an
// oversized one, and text Qt 5 cannot read as INI: UTF-16 or UTF-32 (with
// their byte-order marks) or anything holding NUL bytes. ASCII, Latin-1 and
// UTF-8 with or without its mark are read. While another program holds the
// file (Windows), reading is retried until `deadline`.
OpenedSettings openSettingsFile(const QString &path, const QDeadlineTimer &deadline);

// The settings in the file at `path` as the disk holds them now, never as
// Qt's cache of a file it has open remembers them; false when unreadable.
bool readFromDisk(const QString &path, QVariantMap *contents);

// Whether a key holds a value: anything but nothing or the empty text. Qt
// reads "a,b" as a list and "@Variant(...)" as other types; those are values
// too, though not text.
bool isPresent(const QVariant &value);

// The two version keys of a "setting.ini", as the values they are.
struct Versions
{
    QVariant current;
    QVariant previous;

    static Versions from(const QSettings &settings);
    // Whether neither names anything.
    bool isEmpty() const;
    // The current version, else the previous one, else "1.0.0". Empty when
    // the one that counts is not plain text: it names no folder, and no
    // other version is tried in its place.
    QString toRun() const;
};

// Key and value pairs in the order they are written.
using SettingsValues = QVector<QPair<QString, QVariant>>;

// The one way the launcher writes a settings file.
//
// Sets `values` in the INI file at `path`. A missing file is created with
// QSettings' own text; an existing one gets only the lines of `values`
// changed or added (see inifile.h), and must then read as it did, no worse
// formed, plus `values`, with every other line byte for byte, or nothing is
// written. One its user made read-only, or one Qt 5 cannot read at all, is
// never rewritten. The file on disk is replaced only by a version that was
// written and read back whole, keeping the old one's mode or attributes, so
// after any failure (a full disk, an unwritable directory, a crash at any
// point) it is still the old file, byte for byte. While the file is written, the lock the application's QSettings
// takes around its own saves ("<file>.lock") is held; when it cannot be had
// by `deadline`, nothing is written. Returns whether the new file is in
// place. The caller holds the data directory's lock.
bool writeSettingsFile(const QString &path, const SettingsValues &values, const QDeadlineTimer &deadline);

// Removes the scratch files of writes that never finished (the launcher was
// killed, or a removal failed) from the data directory: only the names the
// launcher itself gives them, never a file it did not make. Only the lock
// holder may do so, as they could be another launcher's, live.
void removeScratchLeftovers(const QString &dataDirectory);
