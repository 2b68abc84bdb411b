// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The program entry.
#include "debuggerchannel.h"
#include "dllsearch.h"
#include "launcher.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

// On Windows the launcher is a GUI-subsystem program (no console) and starts
// in Qt's WinMain adapter, which turns the wide command line into argc and
// argv in the ANSI code page and calls the entry. Under MinGW the adapter
// calls qMain, and MinGW's start-up reaches it only through WinMain when the
// program has no main of its own: hence the name there.
#if defined(Q_OS_WIN) && defined(__MINGW32__)
#define QUILLORA_ENTRY qMain
#else
#define QUILLORA_ENTRY main
#endif

// Qt reports oddities it meets (a lock file dated in the future, say) on
// standard error, where nobody reads them. Only the launcher's own account
// of what it decided goes anywhere: to the debugger channel, on Windows.
static void handleMessage(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, DecisionsCategory) == 0)
        tellDebugger(message);
}

// Qt turns its warnings into aborts when QT_FATAL_WARNINGS or
// QT_FATAL_CRITICALS is set (a developer's shell may set them), and nothing
// Qt reports may end the launcher. So every such entry goes from the
// launcher's own environment for good, however many there are (a block can
// hold a name twice, or in two cases, and each unset removes one); the
// application gets them all the same, from the block taken at entry.
static void removeQtFatalSwitches()
{
    for (const QString &name : QProcessEnvironment::systemEnvironment().keys()) {
        if (!name.toUpper().startsWith(QLatin1String("QT_FATAL_")))
            continue;
        const QByteArray local = name.toLocal8Bit();
        for (int tries = 0; tries < 64 && qEnvironmentVariableIsSet(local.constData()); ++tries)
            qunsetenv(local.constData());
    }
}

// No window, no console, no event loop: the launcher prepares, starts the
// application and is gone. It always exits with 0; there is nobody to read
// anything else.
int QUILLORA_ENTRY(int argc, char *argv[])
{
    // Before anything can load a DLL, or change what the application must
    // get as the launcher got it.
    restrictLibrarySearch();
    const Inheritance given = Inheritance::ofThisProcess();
    survivesFileSizeLimit();
    qInstallMessageHandler(handleMessage);
    removeQtFatalSwitches();
    const QCoreApplication application(argc, argv);
    Launcher().run(given);
    return 0;
}
