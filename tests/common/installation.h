// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

// A throwaway installation for one test row, laid out as a user's would be:
//   <root>/install/quillora-launcher         a copy of the built launcher
//   <root>/install/<version>/Quillora.exe    stand-ins that record their start
//   <root>/config/Quillora                   the data directory (XDG_CONFIG_HOME)
// The launcher is copied, not linked: its own directory is the installation.
class Installation
{
public:
    explicit Installation(const QString &launcherName = QStringLiteral("quillora-launcher"));

    bool isValid() const { return m_root.isValid() && m_valid; }
    QString root() const { return m_root.path(); }
    QString installDir() const { return root() + QStringLiteral("/install"); }
    QString configHome() const { return m_configHome; }
    // Where XDG_CONFIG_HOME points; need not exist.
    void setConfigHome(const QString &path) { m_configHome = path; }
    QString dataDir() const { return configHome() + QStringLiteral("/Quillora"); }
    QString launcher() const { return installDir() + QLatin1Char('/') + m_launcherName; }
    QString dataFile(const QString &name) const { return dataDir() + QLatin1Char('/') + name; }

    // A version directory with a stand-in "Quillora.exe" that appends
    // "<its path>\t<working directory>\t<argument count>\t<what it saw>"
    // to the start log, one field of Seen each.
    void addVersion(const QString &version);
    // A stand-in at any path, e.g. a decoy the launcher must never start.
    void addStandIn(const QString &path);

    static bool writeFile(const QString &path, const QByteArray &contents);
    static QByteArray readFile(const QString &path);
    // Writes INI sections verbatim: the tests control every byte.
    bool writeDataSettings(const QByteArray &ini) { return writeFile(dataFile(QStringLiteral("setting.ini")), ini); }
    bool writeLegacySettings(const QByteArray &ini)
    {
        return writeFile(installDir() + QStringLiteral("/setting.ini"), ini);
    }

    struct Run
    {
        bool finished = false;
        int exitCode = -1;
        QProcess::ExitStatus exitStatus = QProcess::CrashExit;
        QByteArray out;
        QByteArray err;
        bool cleanExit() const { return finished && exitStatus == QProcess::NormalExit && exitCode == 0; }
    };
    QProcessEnvironment environment() const;
    // Starts the launcher as a user would; `wrapper` runs it under another
    // program (setpriv, strace), `arguments` are the launcher's own.
    QProcess *start(const QStringList &arguments = {}, const QStringList &wrapper = {}) const;
    static Run finish(QProcess *process, int timeoutMs = 20000);
    Run launch(const QStringList &arguments = {}, const QStringList &wrapper = {}) const;

    // "<path>\t<working directory>\t<argument count>" for each start.
    QStringList starts() const;
    // That line for the stand-in of `version`, started as it should be: in
    // its own directory, with no arguments.
    QString startOf(const QString &version) const;
    // What each started application saw, one field of its log line.
    enum class Seen {
        Code = 3,       // the software code in the data directory's "setting.ini"
        Umask,          // the file-creation mask it inherited
        IgnoredSignals, // the signals it got as ignored (/proc's SigIgn mask)
        Session,        // "own" when it leads a session of its own
        Environment     // its environment block, entries ended by '|'
    };
    QStringList seen(Seen what) const;
    // Waits, with a deadline, until `count` starts are logged.
    bool waitForStarts(int count, int timeoutMs = 5000) const;
    // For cases where nothing may start: starts are asynchronous, so give a
    // wrongly started stand-in time to log itself.
    bool staysUnstarted(int graceMs = 400) const;
    QString startLog() const { return root() + QStringLiteral("/starts.log"); }

    // Runs as an unprivileged user when the tests run as root, since root
    // ignores permission bits; prepares the tree so that user can reach it.
    // Empty when not root. (Needs setpriv: see QUILLORA_NEEDS.)
    QStringList unprivileged();

private:
    QTemporaryDir m_root;
    QString m_launcherName;
    QString m_configHome;
    bool m_valid = false;
};

// Stops a test that needs `tool` (strace, setpriv, valgrind, wine; a name
// or an absolute path) when it is not there: skips, saying why; under CI (CI=true) fails instead,
// so that a failed install cannot pass green.
#define QUILLORA_NEEDS(tool)                                                                                           \
    do {                                                                                                               \
        const QString needed = QString(tool);                                                                          \
        if (QStandardPaths::findExecutable(needed).isEmpty()) {                                                        \
            if (qgetenv("CI") == "true")                                                                               \
                QFAIL(qPrintable(needed + QStringLiteral(" is not installed, and CI must run every test")));           \
            QSKIP(qPrintable(needed + QStringLiteral(" is not installed")));                                           \
        }                                                                                                              \
    } while (false)

// A "setting.ini" naming version 2.0.0 as PowerShell 5's Out-File and
// Notepad's "Unicode" write it: UTF-16 with its byte-order mark.
QByteArray utf16Settings();
// Whether a process holds the lock the system keeps on the file at `path`
// (the launchers' own "launcher.lock"): its flock.
bool isLockHeld(const QString &path);
// The stored software code, read straight from the file.
QString storedCode(const QString &settingsPath);
// 32 characters of 0-9A-F from a version 4 UUID: 13th "4", 17th 8, 9, A or B.
bool isWellFormedCode(const QString &code);
