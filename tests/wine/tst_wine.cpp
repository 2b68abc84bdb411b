// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/installation.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// The Windows launcher, run under Wine: the rules that only Windows has (the
// local application-data folder, the read-only attribute, the launcher's own
// folder searched first for a bare program name) proven on the real .exe.
//
// Wine runs as an unprivileged user: under root it opens read-only files for
// writing all the same. One Wine prefix serves every row, since the first
// start of a prefix takes seconds.
class WineTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_dataDir; // the prefix's local application data + "/Quillora"
    QStringList m_asUser;
    int m_row = 0;

    QString prefix() const { return m_root.path() + "/prefix"; }
    // The Windows build under test and the Wine loader of its architecture
    // (tests/CMakeLists.txt runs this table once per architecture): Debian's
    // "wine" wrapper would hand a 64-bit program to another process, whose
    // exit status and signals the test would then not see.
    static QString built(const QString &name) { return qEnvironmentVariable("QUILLORA_WINDOWS_BUILD") + '/' + name; }
    static QString loader() { return qEnvironmentVariable("QUILLORA_WINE_LOADER", "/usr/bin/wine"); }
    // What execve says to the loader, by its full path: some machines of
    // this kind boot with IA-32 emulation off, and then every i386 program
    // fails with ENOEXEC. Never asked through a shell or execvp, which run
    // such a file as a script and fail in another way. The loader, when it
    // runs, only says its version. QUILLORA_SIMULATE_ENOEXEC stands in for
    // such a machine.
    static int execError(const QString &program)
    {
        if (qEnvironmentVariableIsSet("QUILLORA_SIMULATE_ENOEXEC"))
            return ENOEXEC;
        const QByteArray path = QFile::encodeName(program);
        char *argv[] = {const_cast<char *>(path.constData()), const_cast<char *>("--version"), nullptr};
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int error = posix_spawn(&pid, path.constData(), &quiet, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (error == 0)
            ::waitpid(pid, nullptr, 0);
        return error;
    }
    static QString helper(const QString &name) { return built("tests/" + name); }
    static QString windowsPath(const QString &path) { return "Z:" + QDir::toNativeSeparators(path).replace('/', '\\'); }

    void giveToUser(const QString &path) const
    {
        if (!m_asUser.isEmpty())
            QVERIFY(::chown(qPrintable(path), 65534, 65534) == 0);
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_root.path() + "/home");
        env.insert("WINEPREFIX", prefix());
        env.insert("WINEDEBUG", "-all");
        env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
        // Under LANG=C Wine cannot start a process in a folder with a
        // non-ASCII name.
        env.insert("LANG", "C.UTF-8");
        env.remove("DISPLAY");
        return env;
    }

    bool wine(const QStringList &arguments, int timeoutMs = 60000, QString *output = nullptr) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(m_root.path());
        QStringList command = m_asUser;
        command << loader() << arguments;
        process.start(command.takeFirst(), command);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return false;
        }
        if (output)
            *output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    struct Setup
    {
        QString install;
        QString launcher;
        QString record;
    };

    // A fresh installation and an empty data directory for one row.
    Setup freshInstallation(const QStringList &versions, const QString &launcher = "quillora-launcher.exe",
                            const QString &installName = "install")
    {
        Setup setup;
        const QString dir = m_root.path() + QStringLiteral("/row%1").arg(++m_row);
        setup.install = dir + '/' + installName;
        setup.record = dir + "/out/starts.log";
        QDir().mkpath(setup.install);
        QDir().mkpath(dir + "/out");
        giveToUser(dir);
        giveToUser(setup.install);
        giveToUser(dir + "/out");
        setup.launcher = setup.install + '/' + launcher;
        QFile::copy(built("quillora-launcher.exe"), setup.launcher);
        for (const QString &version : versions)
            addStandIn(setup.install + '/' + version);
        QDir(m_dataDir).removeRecursively();
        return setup;
    }

    void addStandIn(const QString &dir) const
    {
        QDir().mkpath(dir);
        giveToUser(dir);
        QFile::copy(helper("quillora-standin.exe"), dir + "/Quillora.exe");
    }

    // Runs `program` (the row's launcher by default) under Wine as the user,
    // with `extra` added to the environment; `output` gets Wine's messages.
    // `wrapper` runs Wine under another program (strace).
    bool launch(const Setup &setup, const QStringList &arguments = {}, const QProcessEnvironment &extra = {},
                QString *output = nullptr, const QString &program = QString(), const QStringList &wrapper = {}) const
    {
        QProcessEnvironment env = environment();
        env.insert("QUILLORA_TEST_RECORD", windowsPath(setup.record));
        env.insert(extra);
        QStringList command = m_asUser + wrapper;
        command << loader() << (program.isEmpty() ? setup.launcher : program) << arguments;
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(command.takeFirst(), command);
        const bool finished = process.waitForFinished(60000);
        if (output)
            *output = QString::fromUtf8(process.readAllStandardError());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // The stand-in, as a virus scanner: holds `path` open for `milliseconds`,
    // shared as `share` (FILE_SHARE_ flags); returns once it does.
    QProcess *hold(const Setup &setup, const QString &path, int milliseconds, int share) const
    {
        const QString record = setup.record + ".hold";
        QProcessEnvironment env = environment();
        env.insert("QUILLORA_TEST_RECORD", windowsPath(record));
        auto *process = new QProcess;
        process->setProcessEnvironment(env);
        QStringList command = m_asUser;
        command << loader() << helper("quillora-standin.exe") << "--hold" << windowsPath(path)
                << QString::number(milliseconds) << QString::number(share);
        process->start(command.takeFirst(), command);
        if (!QTest::qWaitFor([&] { return Installation::readFile(record).contains("held"); }, 30000))
            qWarning("the file could not be held");
        return process;
    }

    static QStringList starts(const Setup &setup)
    {
        return QString::fromUtf8(Installation::readFile(setup.record)).split('\n', Qt::SkipEmptyParts);
    }
    static bool waitForStart(const Setup &setup)
    {
        return QTest::qWaitFor([&] { return !starts(setup).isEmpty(); }, 15000);
    }
    static QString startOf(const Setup &setup, const QString &version)
    {
        const QString dir = windowsPath(setup.install + '/' + version);
        return dir + "\\Quillora.exe\t" + dir + "\t0";
    }

    // What the stand-in recorded it was given, one line per start (see
    // standin.c), once there is one.
    static QStringList given(const Setup &setup)
    {
        QStringList lines;
        const auto recorded = [&] {
            lines = QString::fromUtf8(Installation::readFile(setup.record + ".info")).split('\n', Qt::SkipEmptyParts);
            return !lines.isEmpty();
        };
        return QTest::qWaitFor(recorded, 15000) ? lines : QStringList();
    }

    bool writeData(const QString &name, const QByteArray &contents) const
    {
        const QString path = m_dataDir + '/' + name;
        if (!Installation::writeFile(path, contents))
            return false;
        giveToUser(m_dataDir);
        giveToUser(path);
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QUILLORA_NEEDS("wine");
        QUILLORA_NEEDS("setpriv");
        QUILLORA_NEEDS(loader());
        // A property of the machine, not a package CI could install: skipped
        // under CI too.
        if (execError(loader()) == ENOEXEC)
            QSKIP(qPrintable(QStringLiteral("this kernel runs no 32-bit programs (execve of %1: Exec format error); "
                                            "the x86 executable was still built, released, reproduced, signed and "
                                            "checked statically")
                                 .arg(loader())));
        QVERIFY(m_root.isValid());
        if (::geteuid() == 0) {
            m_asUser = QStringList {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
            QVERIFY(QFile::setPermissions(
                m_root.path(), QFile::permissions(m_root.path()) | QFileDevice::ExeOther | QFileDevice::ReadOther));
        }
        QVERIFY(QDir().mkpath(m_root.path() + "/home"));
        QVERIFY(QDir().mkpath(prefix()));
        giveToUser(m_root.path() + "/home");
        giveToUser(prefix());
        QString output;
        QVERIFY2(wine({"wineboot", "--init"}, 180000, &output), qPrintable(output));
        QDirIterator users(prefix() + "/drive_c/users", QDir::Dirs | QDir::NoDotAndDotDot);
        while (users.hasNext()) {
            const QString user = users.next();
            if (QFileInfo(user).fileName() != QLatin1String("Public"))
                m_dataDir = user + "/AppData/Local/Quillora";
        }
        QVERIFY2(!m_dataDir.isEmpty(), "no user folder in the Wine prefix");
    }

    void cleanupTestCase()
    {
        QProcess server;
        server.setProcessEnvironment(environment());
        QStringList command = m_asUser;
        command << "/usr/bin/wineserver"
                << "-k";
        server.start(command.takeFirst(), command);
        server.waitForFinished(30000);
    }

    void startsChosenVersion_data()
    {
        QTest::addColumn<QByteArray>("settings"); // null: no setting.ini
        QTest::addColumn<QString>("started");     // empty: nothing may start
        QTest::newRow("no setting.ini runs 1.0.0") << QByteArray() << "1.0.0";
        QTest::newRow("current version") << QByteArray("[version]\ncurrent_version=2.0.0\nprevious_version=1.5.0\n")
                                         << "2.0.0";
        QTest::newRow("empty current falls back to previous")
            << QByteArray("[version]\ncurrent_version=\nprevious_version=1.5.0\n") << "1.5.0";
        QTest::newRow("missing version directory: no fallback")
            << QByteArray("[version]\ncurrent_version=3.0.0\nprevious_version=1.5.0\n") << QString();
        // As QSettings writes it: "2.0-\\xe9t\\xe9".
        QTest::newRow("non-ASCII version folder")
            << QByteArray("[version]\ncurrent_version=2.0-\\xe9t\\xe9\n") << QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9");
        // Windows' own ways out of a folder (the name rules' table has them
        // all) start nothing, not even 1.0.0.
        for (const char *version : {"..\\\\outside", "2.0.0:x"})
            QTest::addRow("version %s: nothing starts", version) << QByteArray("[version]\ncurrent_version=") + version
                    + "\nprevious_version=1.0.0\n" << QString();
        // Files as other tools write them: PowerShell 5 and Notepad's
        // "Unicode" (UTF-16), Notepad's UTF-8 with its mark, a hand edit.
        QTest::newRow("UTF-16 setting.ini: nothing starts") << utf16Settings() << QString();
        QTest::newRow("UTF-8 mark and non-ASCII kept through the code's write")
            << QByteArray(
                   "\xEF\xBB\xBF[version]\r\ncurrent_version=2.0-\xc3\xa9t\xc3\xa9\r\n[code]\r\nsoftware_code=\r\n")
            << QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9");
        QTest::newRow("a list is no folder name: nothing starts")
            << QByteArray("[version]\ncurrent_version=2.0,0\nprevious_version=1.5.0\n") << QString();
        // A list claiming 2^31 items, which Qt runs out of memory reading:
        // the code's edit is refused, the version still starts.
        QTest::newRow("a damaged list beside the version") << QByteArray(
            "[version]\ncurrent_version=2.0.0\n[window]\nstate=@Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\n")
                                                           << "2.0.0";
    }
    void startsChosenVersion()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, started);
        // Decoys beside the launcher and outside the installation.
        const Setup setup = freshInstallation(
            {"1.0.0", "1.5.0", "2.0.0", QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9"), "2.0,0", ".", "../outside"});
        if (!settings.isNull())
            QVERIFY(writeData("setting.ini", settings));

        QVERIFY(launch(setup, {"--some", "argument"}));

        if (started.isEmpty()) {
            QVERIFY(!QTest::qWaitFor([&] { return !starts(setup).isEmpty(); }, 2000));
        } else {
            QVERIFY(waitForStart(setup));
            QCOMPARE(starts(setup), QStringList {startOf(setup, started)});
        }
        // Writing the code never changes what the version reads as.
        if (settings.contains("software_code=\r"))
            QCOMPARE(
                QSettings(m_dataDir + "/setting.ini", QSettings::IniFormat).value("version/current_version").toString(),
                started);
    }

    // Whatever the launcher's file is called: Qt's application name, from
    // which the location used to be cut, is empty for ".launcher.exe".
    void preparesDataDirectory_data()
    {
        QTest::addColumn<QString>("launcherName");
        QTest::newRow("quillora-launcher.exe") << "quillora-launcher.exe";
        QTest::newRow(".launcher.exe") << ".launcher.exe";
    }
    void preparesDataDirectory()
    {
        QFETCH(QString, launcherName);
        const Setup setup = freshInstallation({"1.0.0"}, launcherName);
        QVERIFY(launch(setup));

        QVERIFY(QFileInfo(m_dataDir + "/logs").isDir());
        const QSettings user(m_dataDir + "/user.ini", QSettings::IniFormat);
        QCOMPARE(user.allKeys().size(), 6);
        QCOMPARE(user.value("config/username").toString(), QStringLiteral("admin"));
        QCOMPARE(user.value("config/password").toString(), QStringLiteral("5820"));
        QCOMPARE(user.value("config/lang").toString(), QStringLiteral("zh_CN"));
        QVERIFY(!QFileInfo::exists(m_dataDir + "/setting.ini"));
        QVERIFY(waitForStart(setup));
    }

    // The read-only attribute blocks removal on Windows until it is cleared.
    // The legacy file goes only once the new one is on the disk: when the
    // disk fails the new file's flush, it stays and still names the version.
    void migratesReadOnlyLegacyFile_data()
    {
        QTest::addColumn<bool>("failingDisk");
        QTest::addColumn<bool>("unwritableFolder"); // a per-machine installation
        QTest::newRow("migrated") << false << false;
        QTest::newRow("kept while the disk fails to flush") << true << false;
        QTest::newRow("kept read-only in a folder the user cannot write") << false << true;
    }
    void migratesReadOnlyLegacyFile()
    {
        QFETCH(bool, failingDisk);
        QFETCH(bool, unwritableFolder);
        if (unwritableFolder && m_asUser.isEmpty())
            QSKIP("needs root, to run as a user who cannot write the folder");
        if (failingDisk)
            QUILLORA_NEEDS("strace");
        const auto upgrade = [this] {
            const Setup setup = freshInstallation({"1.0.0", "2.0.0"});
            const QString legacy = setup.install + "/setting.ini";
            Installation::writeFile(legacy,
                                    "[version]\ncurrent_version=2.0.0\nprevious_version=1.0.0\n"
                                    "[code]\nsoftware_code=LEGACYCODE\n");
            giveToUser(legacy);
            QFile::setPermissions(legacy, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
            return setup;
        };
        QStringList wrapper;
        if (failingDisk) {
            // Wine flushes with fsync in the program's own process. A traced
            // upgrade tells which flush is the first of the new file (its
            // QSaveFile temporary); the real one fails just that.
            const Setup traced = upgrade();
            const QString trace = traced.record + ".trace";
            QVERIFY(launch(traced, {}, {}, nullptr, QString(),
                           {"strace", "-f", "-qq", "-y", "-e", "signal=none", "-e", "trace=fsync", "-o", trace}));
            const QStringList flushes = QString::fromUtf8(Installation::readFile(trace)).split('\n').filter("fsync(");
            const int first = flushes.indexOf(QRegularExpression(".*/setting\\.ini\\.[A-Za-z]{6}>.*")) + 1;
            QVERIFY2(first > 0, qPrintable(flushes.join('\n')));
            wrapper = QStringList {"strace",
                                   "-f",
                                   "-qq",
                                   "-o",
                                   "/dev/null",
                                   "-e",
                                   "signal=none",
                                   "-e",
                                   "trace=fsync",
                                   "-e",
                                   QStringLiteral("inject=fsync:error=EIO:when=%1").arg(first)};
        }
        const Setup setup = upgrade();
        const QString legacy = setup.install + "/setting.ini";
        if (unwritableFolder)
            QVERIFY(QFile::setPermissions(setup.install,
                                          QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                              | QFileDevice::ExeOther));

        QVERIFY(launch(setup, {}, {}, nullptr, QString(), wrapper));

        QCOMPARE(QFileInfo::exists(legacy), failingDisk || unwritableFolder);
        if (unwritableFolder)
            QVERIFY(!(QFile::permissions(legacy) & QFileDevice::WriteOwner)); // still read-only
        QCOMPARE(QFileInfo::exists(m_dataDir + "/setting.ini"), !failingDisk);
        if (!failingDisk) {
            const QSettings settings(m_dataDir + "/setting.ini", QSettings::IniFormat);
            QCOMPARE(settings.value("version/current_version").toString(), QStringLiteral("2.0.0"));
            QCOMPARE(settings.value("version/previous_version").toString(), QStringLiteral("1.0.0"));
            QVERIFY(isWellFormedCode(storedCode(m_dataDir + "/setting.ini")));
        }
        QVERIFY(waitForStart(setup));
        QCOMPARE(starts(setup), QStringList {startOf(setup, "2.0.0")});
    }

    // The shortcut's show state, hotkey and the shortcut itself reach the
    // application, and so does the environment block as it was given (a
    // name twice never ends the launcher); none of the launcher's handles do.
    void startsTheApplicationAsTheLauncherWasStarted_data()
    {
        QTest::addColumn<QStringList>("startup"); // STARTUPINFO: dwFlags (hex), wShowWindow, lpTitle[, entries]
        QTest::addColumn<QString>("received");    // the same, as the application got them; {exe}: its path
        const QString link = "C:\\users\\Public\\Desktop\\Quillora.lnk";
        QTest::newRow("minimised") << QStringList {"1", "7", "-"} << "101\t7\t{exe}\t0\t";
        QTest::newRow("maximised") << QStringList {"1", "3", "-"} << "101\t3\t{exe}\t0\t";
        QTest::newRow("from a shortcut") << QStringList {"801", "1", link} << "901\t1\t" + link + "\t0\t";
        // Wine keeps no key value, only the flag: hStdInput, where Windows
        // has the key, is the launcher's standard input there ("*": not compared).
        QTest::newRow("with a hotkey") << QStringList {"201", "1", "-"} << "201\t1\t{exe}\t*\t";
        // Wine passes the monitor's flag on, not its value.
        QTest::newRow("from a monitor's taskbar") << QStringList {"401", "1", "-"} << "401\t1\t{exe}\t*\t";
        QTest::newRow("QT_FATAL_WARNINGS twice")
            << QStringList {"1", "1", "-", "QT_FATAL_WARNINGS=1|qt_fatal_warnings=1|QT_FATAL_CRITICALS="}
            << "101\t1\t{exe}\t0\tQT_FATAL_WARNINGS=1,qt_fatal_warnings=1,QT_FATAL_CRITICALS=,";
    }
    void startsTheApplicationAsTheLauncherWasStarted()
    {
        QFETCH(QStringList, startup);
        QFETCH(QString, received);
        const Setup setup = freshInstallation({"1.0.0"});

        QStringList arguments = QStringList {"--start"} + startup.mid(0, 3) + QStringList {windowsPath(setup.launcher)};
        QVERIFY(launch(setup, arguments + startup.mid(3), {}, nullptr, helper("quillora-standin.exe")));

        QVERIFY(waitForStart(setup));
        const QString exe = windowsPath(setup.install + "/1.0.0/Quillora.exe");
        QStringList got = given(setup);
        if (received.section('\t', 3, 3) == "*" && !got.isEmpty())
            got[0] = got[0].section('\t', 0, 2) + "\t*\t" + got[0].section('\t', 4);
        QCOMPARE(got, QStringList {QString(received).replace("{exe}", exe)});
    }

    // A caller that reads the launcher's output (an installer's "run now")
    // is done when the launcher is: the application, still running, holds
    // no end of the pipe.
    void callerReadingTheOutputWaitsOnlyForTheLauncher()
    {
        const Setup setup = freshInstallation({"1.0.0"});
        QProcessEnvironment env;
        env.insert("QUILLORA_TEST_LINGER", "6000");

        QVERIFY(launch(setup, {}, env, nullptr, QString(), {"sh", "-c", "\"$0\" \"$@\" | cat >/dev/null"}));

        QCOMPARE(given(setup).value(0).section('\t', 3, 3), QStringLiteral("0"));
        QVERIFY2(!given(setup).contains("exited"), "the pipe stayed open until the application exited");
    }

    // Each launch tells the debugger channel what it decided.
    void tellsTheDebuggerWhatItDecided_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QStringList>("lines"); // {install}, {data}: their Windows paths
        QTest::newRow("started") << QByteArray("[version]\ncurrent_version=2.0.0\n")
                                 << QStringList {"data directory: {data}",
                                                 "version: 2.0.0 named by {data}\\\\setting.ini",
                                                 "started {install}\\\\2.0.0\\\\Quillora.exe"};
        QTest::newRow("not installed") << QByteArray("[version]\ncurrent_version=3.0.0\n")
                                       << QStringList {"data directory: {data}",
                                                       "version: 3.0.0 named by {data}\\\\setting.ini",
                                                       "nothing started: version 3.0.0 is not installed: "
                                                       "{install}\\\\3.0.0\\\\Quillora.exe is missing"};
    }
    void tellsTheDebuggerWhatItDecided()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, lines);
        const Setup setup = freshInstallation({"1.0.0", "2.0.0"});
        QVERIFY(writeData("setting.ini", settings));
        QProcessEnvironment env;
        env.insert("WINEDEBUG", "-all,warn+seh"); // Wine shows OutputDebugString there
        QString output;

        QVERIFY(launch(setup, {}, env, &output));

        QStringList told;
        const QRegularExpression line("OutputDebugString[AW] \"(.*)\\\\n\"");
        for (auto match = line.globalMatch(output); match.hasNext();)
            told << match.next().captured(1);
        const QString data = QString(m_dataDir).replace(prefix() + "/drive_c", "C:").replace('/', "\\\\");
        for (QString &expected : lines)
            expected.replace("{install}", windowsPath(setup.install).replace('\\', "\\\\")).replace("{data}", data);
        QCOMPARE(told, lines);
    }

    void storesOneCodeAndKeepsIt()
    {
        const Setup setup = freshInstallation({"1.0.0"});
        QVERIFY(writeData("setting.ini", "[code]\nsoftware_code=\n"));
        // Not the launcher's, though named like QSaveFile's temporaries.
        for (const char *name : {"setting.ini.backup", "user.ini.before"})
            QVERIFY(writeData(name, name));
        // Left by a launch that died, and by an older launcher: a process
        // that is gone holds no lock, and the launchers' own lock is the
        // system's, whatever the file holds.
        QVERIFY(writeData("setting.ini.lock", "99999\nquillora-launcher\n\n"));
        QVERIFY(writeData("launcher.lock", "\x01garbage"));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(launch(setup));
        const qint64 first = timer.elapsed();
        for (const char *name : {"setting.ini.backup", "user.ini.before"})
            QCOMPARE(Installation::readFile(m_dataDir + '/' + name), QByteArray(name));
        const QByteArray stored = Installation::readFile(m_dataDir + "/setting.ini");
        QVERIFY(isWellFormedCode(storedCode(m_dataDir + "/setting.ini")));

        timer.start();
        QVERIFY(launch(setup));

        QVERIFY2(first < timer.elapsed() + 1500, qPrintable(QStringLiteral("%1 ms").arg(first - timer.elapsed())));
        QCOMPARE(Installation::readFile(m_dataDir + "/setting.ini"), stored);
        QVERIFY(!QFileInfo::exists(m_dataDir + "/setting.ini.lock"));
    }

    // Windows looks for a bare program name beside the launcher first; the
    // launcher starts the checked file by its full path.
    void neverStartsTheDecoyBesideTheLauncher()
    {
        const Setup setup = freshInstallation({"1.0.0"});
        addStandIn(setup.install);

        QVERIFY(launch(setup));

        QVERIFY(waitForStart(setup));
        QTest::qWait(500);
        QCOMPARE(starts(setup), QStringList {startOf(setup, "1.0.0")});
    }

    // A virus scanner, indexer or backup tool may hold "setting.ini" open
    // without sharing for a moment: the launcher waits for it, briefly, and
    // starts nothing rather than a guess if it stays held. Another
    // launcher's lock never holds up a launch with nothing to write.
    void waitsBrieflyForAHeldFile_data()
    {
        QTest::addColumn<QString>("held");
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<int>("share"); // FILE_SHARE_READ: reading works, replacing does not
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("started");
        QTest::newRow("setting.ini held for a moment") << "setting.ini" << 1500 << 0 << "KEPT"
                                                       << "2.0.0";
        QTest::newRow("setting.ini held for good") << "setting.ini" << 8000 << 0 << "KEPT" << QString();
        QTest::newRow("lock held, nothing to write") << "launcher.lock" << 8000 << 0 << "KEPT"
                                                     << "2.0.0";
        QTest::newRow("setting.ini shared for reading a moment, code to store") << "setting.ini" << 1500 << 1 << ""
                                                                                << "2.0.0";
    }
    void waitsBrieflyForAHeldFile()
    {
        QFETCH(QString, held);
        QFETCH(int, holdMs);
        QFETCH(int, share);
        QFETCH(QString, code);
        QFETCH(QString, started);
        const Setup setup = freshInstallation({"1.0.0", "2.0.0"});
        QVERIFY(writeData("user.ini", "[config]\nlang=en_GB\n"));
        QVERIFY(writeData("setting.ini",
                          "[code]\nsoftware_code=" + code.toUtf8() + "\n[version]\ncurrent_version=2.0.0\n"));
        QVERIFY(writeData("launcher.lock", ""));
        std::unique_ptr<QProcess> holder(hold(setup, m_dataDir + '/' + held, holdMs, share));

        QProcessEnvironment env;
        env.insert("WINEDEBUG", "-all,warn+seh"); // what the launcher decided, should a row fail
        QString told;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(launch(setup, {}, env, &told));
        const qint64 elapsed = timer.elapsed();

        if (started.isEmpty()) {
            QVERIFY(!QTest::qWaitFor([&] { return !starts(setup).isEmpty(); }, 2000));
        } else {
            QVERIFY2(waitForStart(setup), qPrintable(told));
            QCOMPARE(starts(setup), QStringList {startOf(setup, started)});
        }
        if (held == QLatin1String("launcher.lock"))
            QVERIFY2(elapsed < 1500, qPrintable(QString::number(elapsed)));
        if (code.isEmpty()) // the replace waited for the holder too
            QVERIFY(isWellFormedCode(storedCode(m_dataDir + "/setting.ini")));
        holder->waitForFinished(20000);
    }

    // With the data directory on a full disk the launch still starts the
    // version the legacy file names, and keeps that file; once there is
    // room again, the next launch does the pending work at once.
    void recoversPromptlyFromAFullDisk()
    {
        if (m_asUser.isEmpty())
            QSKIP("mounting a small filesystem needs root");
        const Setup setup = freshInstallation({"1.0.0", "2.0.0"});
        const QString legacy = setup.install + "/setting.ini";
        QVERIFY(Installation::writeFile(legacy, "[version]\ncurrent_version=2.0.0\n"));
        giveToUser(legacy);
        QVERIFY(QDir().mkpath(m_dataDir));
        QCOMPARE(QProcess::execute(
                     "mount", {"-t", "tmpfs", "-o", "size=128k,uid=65534,gid=65534,mode=0700", "tmpfs", m_dataDir}),
                 0);
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {m_dataDir}); });
        QFile filler(m_dataDir + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        // Bounded, in case this is not the small filesystem after all.
        while (filler.size() < (1 << 20) && filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) { }
        QVERIFY(filler.size() < (1 << 20));
        filler.close();

        // Launches a while apart leave empty lock files of every kind.
        for (int i = 1; i <= 3; ++i) {
            QVERIFY(launch(setup));
            QVERIFY(QTest::qWaitFor([&] { return starts(setup).size() == i; }, 15000));
            QTest::qWait(600);
        }
        QCOMPARE(starts(setup), QStringList(QVector<QString>(3, startOf(setup, "2.0.0")).toList()));
        QVERIFY(QFileInfo::exists(legacy));

        QVERIFY(filler.remove());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(launch(setup));
        QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!QFileInfo::exists(legacy));
        QVERIFY(isWellFormedCode(storedCode(m_dataDir + "/setting.ini")));
        QCOMPARE(QSettings(m_dataDir + "/user.ini", QSettings::IniFormat).allKeys().size(), 6);
        QVERIFY(QTest::qWaitFor([&] { return starts(setup).size() == 4; }, 15000));
    }

    // DLLs planted beside the launcher under system DLLs' names are never
    // loaded: not those Qt imports (loaded late, by full path), and not
    // psapi, which Qt loads by bare name whenever the lock is taken, and
    // not those the compiler's stack-guard seeding would load before main
    // (rsaenh, bcrypt, crypt32, cryptbase), which the launcher seeds itself.
    // Wine's own user32 imports version.dll, so that one is not planted.
    void loadsSystemDllsOnlyFromTheSystemFolder_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("reached");
        QTest::newRow("launcher taking the lock") << "quillora-launcher.exe" << QStringList {"psapi"};
        QTest::newRow("helper reaching every late DLL")
            << "quillora-reacher.exe" << QStringList {"userenv", "netapi32", "winmm", "mpr"};
    }
    void loadsSystemDllsOnlyFromTheSystemFolder()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, reached);
        const Setup setup = freshInstallation({"1.0.0"});
        QFile::copy(helper("quillora-reacher.exe"), setup.install + "/quillora-reacher.exe");
        const QStringList planted {"netapi32", "userenv", "winmm",   "mpr",      "psapi",
                                   "rsaenh",   "bcrypt",  "crypt32", "cryptbase"};
        for (const QString &name : planted)
            QVERIFY(QFile::copy(helper("quillora-planted.dll"), setup.install + '/' + name + ".dll"));
        QProcessEnvironment env;
        env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=;" + planted.join(',') + "=n,b"); // as Windows searches
        env.insert("WINEDEBUG", "-all,+loaddll");
        env.insert("QUILLORA_TEST_PLANTED", windowsPath(setup.record + ".planted"));
        QString loaded;

        QVERIFY(launch(setup, {}, env, &loaded, setup.install + '/' + program));

        QCOMPARE(Installation::readFile(setup.record + ".planted"), QByteArray());
        for (const QString &name : reached)
            QVERIFY2(loaded.contains("Loaded L\"C:\\\\windows\\\\system32\\\\" + name + ".dll\""), qPrintable(loaded));
    }

    // Without Qt's codecs, names outside ASCII still work: an installation
    // folder and a local application-data folder with such names.
    void worksWithNonAsciiFolders()
    {
        const Setup setup
            = freshInstallation({"1.0.0"}, "quillora-launcher.exe", QString::fromUtf8("Inst\xc3\xa4llning \xc3\x96"));
        const QString localAppData = QString::fromUtf8("C:\\users\\Public\\L\xc3\xb6kal \xe6\x95\xb0\xe6\x8d\xae");
        const QString key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
        QVERIFY(wine({"reg", "add", key, "/v", "Local AppData", "/t", "REG_EXPAND_SZ", "/d", localAppData, "/f"}));
        const auto restore = qScopeGuard([&] {
            wine({"reg", "add", key, "/v", "Local AppData", "/t", "REG_EXPAND_SZ", "/d",
                  "%USERPROFILE%\\AppData\\Local", "/f"});
        });

        QVERIFY(launch(setup));

        QVERIFY(waitForStart(setup));
        QCOMPARE(starts(setup), QStringList {startOf(setup, "1.0.0")});
        const QString dataDir
            = prefix() + QString::fromUtf8("/drive_c/users/Public/L\xc3\xb6kal \xe6\x95\xb0\xe6\x8d\xae/Quillora");
        QCOMPARE(QSettings(dataDir + "/user.ini", QSettings::IniFormat).allKeys().size(), 6);
    }
};

QTEST_GUILESS_MAIN(WineTest)
#include "tst_wine.moc"
