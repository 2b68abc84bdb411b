// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The rules by which a system reads a folder name.
enum class NameRules { Unix, Windows };

// The rules of the system the launcher runs on (versionname_unix.cpp,
// versionname_win.cpp).
NameRules systemNameRules();

// Whether `version` may name a folder under `rules` at all. Windows reads a
// ':' as a drive or a stream and drops trailing dots and blanks from path
// segments, so such a name would not be the folder it looks like. Both
// systems end a name at a NUL.
bool isPlainVersionName(const QString &version, NameRules rules);
