// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Where the Windows executable loads its DLLs from: only the system folder.
// Pairs with cmake/DelayLoad.cmake, which links the DLLs that Windows would
// otherwise look for beside the launcher for delayed loading, so that the
// hook below loads them.
#include "dllsearch.h"

#include <QString>

#include <windows.h>
#include <delayimp.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// The DLLs that are not on Windows' list of known DLLs are linked for
// delayed loading, and this hook loads each of them by its full path in the
// system folder when it is first needed. So no search order is involved at
// all, not even on a Windows 7 that lacks SetDefaultDllDirectories.
FARPROC WINAPI loadFromSystemFolder(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary)
        return nullptr;
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr; // the helper then loads it by name, from the system folder only
    const QString path
        = QString::fromWCharArray(folder, int(length)) + QLatin1Char('\\') + QString::fromLatin1(info->szDll);
    return reinterpret_cast<FARPROC>(LoadLibraryW(reinterpret_cast<const wchar_t *>(path.utf16())));
}

} // namespace

// Read by the delayed-loading helper; both are defined here, so that the
// runtime library's defaults (which would clash) are not linked.
PfnDliHook __pfnDliNotifyHook2 = loadFromSystemFolder;
PfnDliHook __pfnDliFailureHook2 = nullptr;

void restrictLibrarySearch()
{
    // Looked up, not imported: Windows 7 has it only with an update.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI *)(DWORD);
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
