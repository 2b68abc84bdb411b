// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Unix half of debuggerchannel.h: there is no channel, and the launcher
// stays silent.
#include "debuggerchannel.h"

bool hasDebuggerChannel()
{
    return false;
}

void tellDebugger(const QString &)
{
}
