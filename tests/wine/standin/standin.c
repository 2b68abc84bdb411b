// SPDX-License-Identifier: MIT
/* A stand-in Quillora.exe for Windows: appends
 * "<its path>\t<working directory>\t<argument count>" as UTF-8 to the file
 * named by %QUILLORA_TEST_RECORD%, then exits.
 * Started as "Quillora.exe --hold FILE MS" it plays a virus scanner instead:
 * holds FILE open without sharing for MS milliseconds, and records "held"
 * once it does. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static void append(HANDLE file, const wchar_t *text)
{
    char utf8[4 * MAX_PATH];
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    DWORD written;
    if (length > 1)
        WriteFile(file, utf8, (DWORD)(length - 1), &written, NULL);
}

static int hold(const wchar_t *path, int milliseconds, HANDLE record)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    append(record, L"held\n");
    CloseHandle(record);
    Sleep(milliseconds);
    CloseHandle(file);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance; (void)previous; (void)commandLine; (void)show;
    wchar_t record[MAX_PATH], program[MAX_PATH], directory[MAX_PATH], count[16];
    if (!GetEnvironmentVariableW(L"QUILLORA_TEST_RECORD", record, MAX_PATH))
        return 1;
    GetModuleFileNameW(NULL, program, MAX_PATH);
    GetCurrentDirectoryW(MAX_PATH, directory);
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    swprintf(count, 16, L"%d", argc - 1);
    HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    if (argc == 4 && wcscmp(argv[1], L"--hold") == 0)
        return hold(argv[2], _wtoi(argv[3]), file);
    LocalFree(argv);
    append(file, program);
    append(file, L"\t");
    append(file, directory);
    append(file, L"\t");
    append(file, count);
    append(file, L"\n");
    CloseHandle(file);
    return 0;
}
