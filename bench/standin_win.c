// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
/* Stand-in for Quillora.exe in the benchmark under Wine: creates the file
 * %QUILLORA_BENCH_STAMP% the moment it begins to run, which the benchmark
 * watches for. Linked statically, so hardly anything runs before main. */
#include <windows.h>

int main(void)
{
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"QUILLORA_BENCH_STAMP", path, MAX_PATH))
        return 0;
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(file);
    return 0;
}
