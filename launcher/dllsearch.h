// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

// Lets the process load DLLs from the system folder only (Windows). Qt loads
// some DLLs by bare name at run time, and Windows would look for those in
// the launcher's own folder first, where anyone who can write there could
// plant one. Called first thing in the entry, before anything loads a DLL.
// The Windows half (dllsearch_win.cpp) also holds the hook that loads the
// DLLs linked for delayed loading (cmake/DelayLoad.cmake); on Unix shared
// libraries come from the system's own paths and there is nothing to narrow.
void restrictLibrarySearch();
