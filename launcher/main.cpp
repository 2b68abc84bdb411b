// SPDX-License-Identifier: MIT
// The program entry.
#include "dllsearch.h"
#include "launcher.h"

#include <QCoreApplication>

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
        Platform::tellDebugger(message);
}

// No window, no console, no event loop: the launcher prepares, starts the
// application and is gone. It always exits with 0; there is nobody to read
// anything else.
int QUILLORA_ENTRY(int argc, char *argv[])
{
    // Before anything can load a DLL, or change what the application must
    // get as the launcher got it.
    restrictLibrarySearch();
    const Platform::Inheritance given = Platform::Inheritance::ofThisProcess();
    qInstallMessageHandler(handleMessage);
    const QCoreApplication application(argc, argv);
    Launcher().run(given);
    return 0;
}
