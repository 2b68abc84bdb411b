// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
/* A stand-in Quillora.exe for Windows: appends
 * "<its path>\t<working directory>\t<argument count>" as UTF-8 to the file
 * named by %QUILLORA_TEST_RECORD%, then exits.
 * It also appends what it was given to %QUILLORA_TEST_RECORD%.info:
 * "<STARTUPINFO dwFlags, hex>\t<wShowWindow>\t<lpTitle>\t<open standard
 * handles>\t<its QT_FATAL_* entries, in order, each followed by ','>", then lingers %QUILLORA_TEST_LINGER%
 * milliseconds, if set, and appends "exited" to that file. Started as "Quillora.exe --hold FILE MS SHARE" it plays a
 * virus scanner instead: holds FILE open for MS milliseconds, sharing it as SHARE (the FILE_SHARE_ flags; 0: not at
 * all), and records "held" once it does. Started as "Quillora.exe --start FLAGS SHOW TITLE PROGRAM [ENTRIES]" it plays
 * the shell: starts PROGRAM with that STARTUPINFO (TITLE "-" for none) and its own environment block plus ENTRIES ('|'
 * between them), as given, duplicates and all, and waits for it. */
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

static int hold(const wchar_t *path, int milliseconds, DWORD share, HANDLE record)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    append(record, L"held\n");
    CloseHandle(record);
    Sleep(milliseconds);
    CloseHandle(file);
    return 0;
}

/* The process's environment block with `entries` ('|' between them) added. */
static wchar_t *blockWith(const wchar_t *entries)
{
    const wchar_t *own = GetEnvironmentStringsW();
    size_t size = 0;
    while (own[size])
        size += wcslen(own + size) + 1;
    const size_t extra = wcslen(entries) + 2;
    wchar_t *block = calloc(size + extra, sizeof(wchar_t));
    memcpy(block, own, size * sizeof(wchar_t));
    wcscpy(block + size, entries);
    for (wchar_t *c = block + size; *c; ++c)
        if (*c == L'|')
            *c = 0;
    return block;
}

static int start(const wchar_t *flags, const wchar_t *show, wchar_t *title, wchar_t *program, const wchar_t *entries)
{
    STARTUPINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cb = sizeof info;
    info.dwFlags = wcstoul(flags, NULL, 16);
    info.wShowWindow = (WORD)_wtoi(show);
    info.lpTitle = wcscmp(title, L"-") == 0 ? NULL : title;
    PROCESS_INFORMATION process;
    wchar_t *block = entries ? blockWith(entries) : NULL;
    if (!CreateProcessW(program, NULL, NULL, NULL, FALSE, CREATE_UNICODE_ENVIRONMENT, block, NULL, &info, &process))
        return 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

static void recordGiven(const wchar_t *record)
{
    wchar_t path[MAX_PATH + 8], line[2 * MAX_PATH];
    swprintf(path, MAX_PATH + 8, L"%ls.info", record);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    STARTUPINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cb = sizeof info;
    GetStartupInfoW(&info);
    int open = 0;
    const DWORD standard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i) {
        const HANDLE handle = GetStdHandle(standard[i]);
        open += handle != NULL && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
    }
    wchar_t fatal[MAX_PATH] = L"";
    for (const wchar_t *entry = GetEnvironmentStringsW(); *entry; entry += wcslen(entry) + 1) {
        if (_wcsnicmp(entry, L"QT_FATAL_", 9) == 0 && wcslen(fatal) + wcslen(entry) + 2 < MAX_PATH) {
            wcscat(fatal, entry);
            wcscat(fatal, L",");
        }
    }
    swprintf(line, 2 * MAX_PATH, L"%lx\t%u\t%ls\t%d\t%ls\n", info.dwFlags, info.wShowWindow,
             info.lpTitle ? info.lpTitle : L"", open, fatal);
    append(file, line);
    wchar_t linger[16];
    if (GetEnvironmentVariableW(L"QUILLORA_TEST_LINGER", linger, 16)) {
        Sleep(_wtoi(linger));
        append(file, L"exited\n");
    }
    CloseHandle(file);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
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
    if (argc == 5 && wcscmp(argv[1], L"--hold") == 0)
        return hold(argv[2], _wtoi(argv[3]), (DWORD)_wtoi(argv[4]), file);
    if ((argc == 6 || argc == 7) && wcscmp(argv[1], L"--start") == 0) {
        CloseHandle(file);
        return start(argv[2], argv[3], argv[4], argv[5], argc == 7 ? argv[6] : NULL);
    }
    LocalFree(argv);
    append(file, program);
    append(file, L"\t");
    append(file, directory);
    append(file, L"\t");
    append(file, count);
    append(file, L"\n");
    CloseHandle(file);
    recordGiven(record);
    return 0;
}
