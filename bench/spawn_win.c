// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
/* The C floor of the benchmark under Wine: nothing but one CreateProcessW of
 * the program given, as the launcher's start must do at the least. */
#include <windows.h>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 1;
    wchar_t program[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, program, MAX_PATH);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return 1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
