// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDeadlineTimer>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

// Far larger than any settings file the launcher or the application writes.
// A file this big is not parsed (that would cost seconds and gigabytes on
// every launch) and never rewritten: it counts as unreadable.
constexpr qint64 MaxSettingsFileSize = 16 * 1024 * 1024;

// The two version keys of a "setting.ini", as the values they are.
struct Versions
{
    QVariant current;
    QVariant previous;

    // Whether neither names anything.
    bool isEmpty() const;
    // The current version, else the previous one, else "1.0.0". Empty when
    // the one that counts is not plain text: it names no folder, and no
    // other version is tried in its place.
    QString toRun() const;
};

// A settings file opened for reading, or why it could not be.
struct OpenedSettings
{
    enum State { Missing, Unreadable, Open };
    State state = Missing;
    // The launcher's keys as the file holds them, when Open.
    Versions versions;
    QVariant code;
};

// Opens the INI file at `path` (empty: none) and reads the launcher's keys
// from it with QSettings. Only "no such file" is missing, and so is a folder
// or a dangling link there. Anything else that keeps the file from being read
// is unreadable, which is not the same: what it holds is unknown. Unreadable
// are a file that cannot be read or whose existence cannot be learned (its
// folder cannot be searched), an oversized one, one with hundreds of section
// headers that never close (which Qt's reader takes quadratic time for), and
// text Qt 5 cannot read as INI: UTF-16 or UTF-32 (with their byte-order
// marks) or anything holding NUL bytes, and a section of the launcher's keys
// holding a value whose type Qt cannot read without running out of memory (a
// list that claims billions of items). ASCII, Latin-1 and UTF-8 with or
// without its mark are read. While another program holds the file (Windows),
// reading is retried until `deadline`.
OpenedSettings openSettingsFile(const QString &path, const QDeadlineTimer &deadline);

// Whether a key holds a value: anything but nothing or the empty text. Qt
// reads "a,b" as a list and "@Variant(...)" as other types; those are values
// too, though not text.
bool isPresent(const QVariant &value);

// Key and value pairs in the order they are written.
using SettingsValues = QVector<QPair<QString, QVariant>>;

// A settings file as read for a write, while the application's settings
// lock is held.
class SettingsFileState
{
public:
    SettingsFileState(const QString &path, bool exists, const QByteArray &text)
        : m_path(path)
        , m_exists(exists)
        , m_text(text)
    {
    }

    bool exists() const { return m_exists; }
    // Whether `key` holds a value (see isPresent) in any reading the
    // application's QSettings may make of the file: a fresh value(), one
    // after a top-level key, a full parse. They differ where a file holds a
    // key twice, or where a section hides another of a longer name.
    bool holds(const char *key) const;

private:
    QString m_path;
    bool m_exists;
    QByteArray m_text;
};

// What to set in a file, decided on what it holds: nothing leaves it alone.
using SettingsDecision = std::function<SettingsValues(const SettingsFileState &)>;

enum class SettingsWrite { Written, Unneeded, Failed };

// The one way the launcher writes a settings file.
//
// Sets in the INI file at `path` what `decide` asks for, decided on the file
// as it is read while the lock the application's QSettings takes around its
// own saves ("<file>.lock") is held: a save the application made before
// stands. A check the caller made before may only spare it the write. When
// that lock cannot be had by `deadline`, nothing is written.
//
// A missing file is created with QSettings' own text; an existing one gets
// only the lines of the values changed or added (see inifile.h), and must
// then read as it did, no worse formed, plus the values, in every reading
// the application may make, with every other line byte for byte, or nothing
// is written. One its user made read-only, or one Qt 5 cannot read at all,
// is never rewritten. The file on disk is replaced only by a version that was
// written and read back whole, keeping the old one's mode or attributes, so
// after any failure (a full disk, an unwritable directory, a crash at any
// point) it is still the old file, byte for byte. Unneeded when `decide`
// asked for nothing. The caller holds the data directory's lock.
SettingsWrite writeSettingsFile(const QString &path, const SettingsDecision &decide, const QDeadlineTimer &deadline);

// The existing settings file at `path`, holding `current`, with `values` set
// in their own lines (see inifile.h). It must read as it did plus `values`,
// no worse formed, with every other line as it was, and every reading the
// application may make must see the values set; else there is no safe edit,
// and false. Scratch copies are read beside `path`.
bool editedSettingsText(const QString &path, const QByteArray &current, const SettingsValues &values,
                        QByteArray *edited);

// Whether `fileName` is the name of a scratch file the launcher makes beside
// a settings file ("<file>.scratch.XXXXXX"), or of what QSettings makes
// beside such a file while it writes it: its lock
// "<file>.scratch.XXXXXX.lock" (and that lock's ".rmlock") and its own
// temporary "<file>.scratch.XXXXXX.XXXXXX". Anything else is not the
// launcher's, however similar its name.
bool isScratchLeftover(const QString &fileName);

// Removes the scratch files of writes that never finished (the launcher was
// killed, or a removal failed) from the data directory: only the names the
// launcher itself gives them, never a file it did not make. Only the lock
// holder may do so, as they could be another launcher's, live.
void removeScratchLeftovers(const QString &dataDirectory);
