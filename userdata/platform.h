#pragma once

#include <QString>

class QFileDevice;

// Everything the launcher does differently on Unix and on Windows, one small
// function each. The rest of the code states its rules once for both.
namespace Platform {

// Lets the process load DLLs from the system folder only (Windows). Qt loads
// some DLLs by bare name at run time, and Windows would look for those in
// the launcher's own folder first, where anyone who can write there could
// plant one. Called first thing in the entry, before anything loads a DLL.
void restrictLibrarySearch();

// The user's configuration base: Qt's first generic configuration location,
// held to the XDG Base Directory rules on Unix. Empty when there is none.
QString userConfigurationBase();

// Whether `version` may name a folder on this system at all. Windows reads a
// ':' as a drive or a stream and drops trailing dots and blanks from path
// segments, so such a name would not be the folder it looks like.
bool isPlainVersionName(const QString &version);

// Pushes what was written to `file` to the disk; false when the disk did not
// take it. A file's data is only safe once this succeeded.
bool syncToDisk(QFileDevice &file);

// Makes the entries of `directory` (a new or replaced file) durable. Where
// directories cannot be synced, there is nothing to wait for: true.
bool syncDirectory(const QString &directory);

// Whether `path` exists but another program holds it open without sharing
// (a virus scanner, an indexer, a backup tool; Windows only). Such a file is
// readable again a moment later.
bool isHeldByAnotherProgram(const QString &path);

// Removes the file at `path` and nothing else: no other file's permissions
// change on the way, whether `path` is a link or shares its data.
bool removeFile(const QString &path);

} // namespace Platform
