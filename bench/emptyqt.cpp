// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include <QCoreApplication>

// What every Qt 5 Core program pays: the application object, built the way
// the launcher builds it, and nothing else.
int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    return 0;
}
