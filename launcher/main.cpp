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

// Qt turns its warnings into aborts when QT_FATAL_WARNINGS or
// QT_FATAL_CRITICALS is set (a developer's shell may set them), and reads
// each switch once, at the first message of its kind. The launcher has them
// read as unset, then puts them back, so that no Qt message ever ends the
// launcher while the application still gets them as they were.
static void readQtFatalSwitchesAsUnset()
{
    const QByteArray warnings = qgetenv("QT_FATAL_WARNINGS");
    const QByteArray criticals = qgetenv("QT_FATAL_CRITICALS");
    const bool warningsSet = qEnvironmentVariableIsSet("QT_FATAL_WARNINGS");
    const bool criticalsSet = qEnvironmentVariableIsSet("QT_FATAL_CRITICALS");
    if (!warningsSet && !criticalsSet)
        return;
    qunsetenv("QT_FATAL_WARNINGS");
    qunsetenv("QT_FATAL_CRITICALS");
    qWarning("Qt's fatal warnings are off for the launcher");
    qCritical("Qt's fatal criticals are off for the launcher");
    if (warningsSet)
        qputenv("QT_FATAL_WARNINGS", warnings);
    if (criticalsSet)
        qputenv("QT_FATAL_CRITICALS", criticals);
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
    Platform::survivesFileSizeLimit();
    qInstallMessageHandler(handleMessage);
    readQtFatalSwitchesAsUnset();
    const QCoreApplication application(argc, argv);
    Launcher().run(given);
    return 0;
}
