// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Windows half of debuggerchannel.h.
#include "debuggerchannel.h"

#include <windows.h>

bool hasDebuggerChannel()
{
    return true;
}

void tellDebugger(const QString &line)
{
    const QString text = line + QLatin1Char('\n');
    OutputDebugStringW(reinterpret_cast<const wchar_t *>(text.utf16()));
}
