// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Whether the system has a debugger channel (Windows: DebugView, a
// debugger), and handing one line to it.
bool hasDebuggerChannel();
void tellDebugger(const QString &line);

// Longer values are cut to this many characters. The channel's buffer holds
// about 4 KB and splits a longer message into several, so a value this
// short can never bring a line of its own along.
constexpr int MaxToldValueLength = 512;

// `value` as it may stand in one line of the channel: control and format
// characters and line or paragraph separators escaped ("\n", "\u2028"),
// and cut with a mark when longer than MaxToldValueLength. A version can be
// any text, and must not forge a line of its own.
QString printable(const QString &value);
