// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

// An empty Qt program that starts the program given, detached, the way the
// launcher starts Quillora.exe: the part of the launcher's latency that is
// Qt's process start rather than the launcher's own work.
int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    if (argc < 2)
        return 1;
    const QString program = QString::fromLocal8Bit(argv[1]);
    return QProcess::startDetached(program, QStringList(), QFileInfo(program).path()) ? 0 : 1;
}
