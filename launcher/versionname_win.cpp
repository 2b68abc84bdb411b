// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "versionname.h"

NameRules systemNameRules()
{
    return NameRules::Windows;
}
