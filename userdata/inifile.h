// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QStringList>

// Adding keys to the text of an existing INI file without rewriting it:
// only the lines of the keys set change, or are added, and every other byte
// stays as it was (comments, order, blank lines, line ends, encodings, and
// values only the application can load). A key is found as QSettings reads
// it: sections percent-unescaped, keys before the first section and in
// [General] at the top level, duplicate sections merged, the last value of
// a key the one that counts, ';' starting a comment anywhere, a trailing
// '\' continuing a line, and quotes grouping.
namespace Ini {

// `text` with each key of `rendered` set to the value it has there.
// `rendered` is QSettings' own text for those keys alone, in the file's
// codec: each value is written exactly as QSettings writes it. A key set
// before goes in place of its last value at the top level and in its own
// section, as a reading may take it from either. A new one goes after the
// last entry of its section's last block (right after the header when that
// entry would swallow it), or in a new section at the end of the file
// (before its first section when its last line would swallow it). A new
// line takes the line end of the line it follows. Names compare with
// `sensitivity`, as QSettings compares them on this system.
QByteArray withValuesSet(const QByteArray &text, const QByteArray &rendered, Qt::CaseSensitivity sensitivity);

// Whether `edited` holds every line of `original` but those of `keys`,
// byte for byte and in order: its entries, section headers, comments and
// lines QSettings cannot read.
bool keepsOtherLines(const QByteArray &original, const QByteArray &edited, const QStringList &keys,
                     Qt::CaseSensitivity sensitivity);

// How many lines of `text` open a section header that never closes on
// that line: Qt's reader looks for each one's ']' to the end of the file,
// which makes reading such a file quadratic in its size. Counted in one pass.
int unclosedHeaders(const QByteArray &text);

} // namespace Ini
