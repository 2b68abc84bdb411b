// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Linked exactly like the launcher (the same delay-import libraries, the
// same delay-load hook and search restriction from launcher/dllsearch_win.cpp),
// this reaches a function in each DLL the launcher loads late. The launcher
// itself reaches them only on paths no test can provoke (UNC shares, timers,
// the home folder); this shows where the hook loads them from once reached.
#include "launcher/dllsearch.h"

#include <windows.h>
#include <lm.h>
#include <mmsystem.h>
#include <userenv.h>
#include <winnetwk.h>

int main()
{
    restrictLibrarySearch();
    DWORD size = 0;
    GetUserProfileDirectoryW(GetCurrentProcessToken(), nullptr, &size);
    NetApiBufferFree(nullptr);
    timeKillEvent(0);
    GetFileVersionInfoSizeW(L"kernel32.dll", nullptr);
    WNetCancelConnection2W(L"Q:", 0, FALSE);
    return 0;
}
