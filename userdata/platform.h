// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QFileDevice;

// What files and folders of the user's data need differently on Unix and
// on Windows, one small function each; platform_unix.cpp and
// platform_win.cpp hold the two halves, and the build takes one. The rest of
// the code states its rules once for both.
namespace Platform {

// The user's configuration base: Qt's first generic configuration location,
// held to the XDG Base Directory rules on Unix. Empty when there is none.
QString userConfigurationBase();

// Pushes what was written to `file` to the disk; false when the disk did not
// take it. A file's data is only safe once this succeeded.
bool syncToDisk(QFileDevice &file);

// Makes the entries of `directory` (a new or replaced file) durable. Where
// directories cannot be synced, there is nothing to wait for: true.
bool syncDirectory(const QString &directory);

// What lies at `path`, as far as reading a file goes. Only "no such file"
// is missing, and so is a folder or a dangling link; a failure that says
// nothing of the file (no permission to search its folder, a loop of links,
// an I/O error) leaves it unknown, which is not the same: it may well exist.
enum class FileState { Missing, File, Unknown };
FileState fileState(const QString &path, qint64 *size);

// Whether `path` exists but another program holds it open without sharing
// it fully (a virus scanner, an indexer, a backup tool; Windows only): such
// a file cannot be read, or not be replaced, until a moment later.
bool isHeldByAnotherProgram(const QString &path);

// How QSettings tells section and key names apart in an INI file here:
// regardless of case on Windows, by case elsewhere.
Qt::CaseSensitivity iniCaseSensitivity();

// Gives `replacement`, the new text of the file at `path` before it takes
// that file's place, what else the file had: on Unix its mode, and its
// owner and group when this runs as root; on Windows its Hidden and System
// attributes. False when that failed.
bool keepAttributesOf(const QString &path, QFileDevice &replacement);

// Whether the file at `path` can be removed by this process, asked without
// removing it: on Unix a folder it may write (its sticky bit considered), on
// Windows the right to delete the file.
bool mayRemove(const QString &path);

// Removes the file at `path` and nothing else: no other file's permissions
// change on the way, whether `path` is a link or shares its data.
bool removeFile(const QString &path);

// While one of these lives, whatever this process creates is for its user
// alone: directories 0700, files 0600. "user.ini" holds a password, and a
// data directory under a shared home must not show it to others. Only
// creation is affected: existing files and directories keep their modes.
// The previous state comes back on destruction, so the application the
// launcher starts afterwards inherits the user's own file-creation mask.
// (On Windows the per-user application-data folder is already private, and
// this does nothing.)
class PrivateCreation
{
public:
    PrivateCreation();
    ~PrivateCreation();
    PrivateCreation(const PrivateCreation &) = delete;
    PrivateCreation &operator=(const PrivateCreation &) = delete;

private:
    unsigned m_previous = 0; // the file-creation mask before (Unix)
};

} // namespace Platform
