// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
/* A DLL planted beside the launcher under the name of a system DLL: when
 * anything loads it, it appends its own path to %QUILLORA_TEST_PLANTED%.
 * The launcher must never load it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    char record[MAX_PATH], path[MAX_PATH + 1];
    if (reason != DLL_PROCESS_ATTACH || !GetEnvironmentVariableA("QUILLORA_TEST_PLANTED", record, MAX_PATH))
        return TRUE;
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    path[length] = '\n';
    HANDLE file = CreateFileA(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, path, length + 1, &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
