// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Unix half of dllsearch.h: nothing to narrow.
#include "dllsearch.h"

void restrictLibrarySearch()
{
}
