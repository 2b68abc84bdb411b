// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include <QCoreApplication>

#include <windows.h>

// The Qt floor of the benchmark under Wine: an empty static Qt Core
// program from the launcher's Qt cache, the application object and then
// one CreateProcessW of the program given. What it costs beyond the C floor
// is Qt's own start-up.
int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    if (argc < 2)
        return 1;
    const QString program = QString::fromLocal8Bit(argv[1]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(reinterpret_cast<const wchar_t *>(program.utf16()), nullptr, nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process))
        return 1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
