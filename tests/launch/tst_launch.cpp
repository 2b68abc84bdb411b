// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/installation.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include <csignal>

// The launcher as a user meets it: it prepares the data directory, starts the
// version that "setting.ini" names from that version's directory, and starts
// nothing else.
class LaunchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void preparesDataDirectory_data()
    {
        QTest::addColumn<QString>("configHome");    // XDG_CONFIG_HOME; <root>: the test root
        QTest::addColumn<QString>("dataDirectory"); // relative to the test root
        QTest::addColumn<bool>("existingFiles");
        QTest::newRow("first launch") << "<root>/config"
                                      << "config/Quillora" << false;
        QTest::newRow("missing parents are created") << "<root>/config/a/b c/d"
                                                     << "config/a/b c/d/Quillora" << false;
        QTest::newRow("existing files are kept, logs added") << "<root>/config"
                                                             << "config/Quillora" << true;
        // The XDG rules say to ignore a relative XDG_CONFIG_HOME.
        QTest::newRow("relative XDG_CONFIG_HOME: HOME/.config") << "config"
                                                                << "home/.config/Quillora" << true;
    }
    void preparesDataDirectory()
    {
        QFETCH(QString, configHome);
        QFETCH(QString, dataDirectory);
        QFETCH(bool, existingFiles);
        Installation installation;
        QVERIFY(installation.isValid());
        const QString dataDir = installation.root() + QLatin1Char('/') + dataDirectory;
        const QByteArray user = "[config]\nlang=en_GB\n";
        const QByteArray settings = "[code]\nsoftware_code=KEEP\n\n[version]\ncurrent_version=9.9\n";
        if (existingFiles) {
            QVERIFY(Installation::writeFile(dataDir + "/user.ini", user));
            QVERIFY(Installation::writeFile(dataDir + "/setting.ini", settings));
        }
        installation.addVersion("9.9");
        installation.setConfigHome(configHome.replace("<root>", installation.root()));

        const Installation::Run run = installation.launch();

        QVERIFY(run.cleanExit());
        QVERIFY(QFileInfo(dataDir).isDir());
        QVERIFY(QFileInfo(dataDir + "/logs").isDir());
        QVERIFY(QDir(dataDir + "/logs").isEmpty());
        if (existingFiles) {
            QCOMPARE(Installation::readFile(dataDir + "/user.ini"), user);
            QCOMPARE(Installation::readFile(dataDir + "/setting.ini"), settings);
            QVERIFY(installation.waitForStarts(1));
            QCOMPARE(installation.starts(), QStringList {installation.startOf("9.9")});
        }
    }

    void startsChosenVersion_data()
    {
        QTest::addColumn<QByteArray>("settings"); // data directory's "setting.ini"; null: none
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("started"); // empty: nothing may start

        const QStringList both {"1.0.0", "2.0.0", "1.5.0"};
        QTest::newRow("no setting.ini runs 1.0.0") << QByteArray() << both << "1.0.0";
        QTest::newRow("current version") << QByteArray("[version]\ncurrent_version=2.0.0\nprevious_version=1.5.0\n")
                                         << both << "2.0.0";
        QTest::newRow("empty current falls back to previous")
            << QByteArray("[version]\ncurrent_version=\nprevious_version=1.5.0\n") << both << "1.5.0";
        QTest::newRow("missing version directory: no fallback")
            << QByteArray("[version]\ncurrent_version=3.0.0\nprevious_version=1.5.0\n") << both << QString();
        QTest::newRow("missing 1.0.0: nothing starts") << QByteArray() << QStringList {"2.0.0"} << QString();
        QTest::newRow("blanks kept verbatim") << QByteArray("[version]\ncurrent_version=2.0 beta\n")
                                              << QStringList {"2.0 beta", "2.0", "1.0.0"} << "2.0 beta";
        // As QSettings writes it: "2.0-\\xe9t\\xe9".
        QTest::newRow("non-ASCII version") << QByteArray("[version]\ncurrent_version=2.0-\\xe9t\\xe9\n")
                                           << QStringList {QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9"), "1.0.0"}
                                           << QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9");
        QTest::newRow("slash kept verbatim") << QByteArray("[version]\ncurrent_version=stable/2.0.0\n")
                                             << QStringList {"stable/2.0.0", "1.0.0"} << "stable/2.0.0";
        QTest::newRow("blanks at both ends kept")
            << QByteArray("[version]\ncurrent_version=\" 2.0.0 \"\n") << QStringList {" 2.0.0 ", "2.0.0"} << " 2.0.0 ";
        // A version that leads out of the installation (the name rules'
        // table has the ways) starts nothing, and nothing else in its place.
        QTest::newRow("version leading out: nothing starts")
            << QByteArray("[version]\ncurrent_version=../outside/evil\nprevious_version=1.0.0\n")
            << QStringList {"../outside/evil", "2.0.0", "1.0.0"} << QString();
        const QByteArray named = "[version]\ncurrent_version=2.0.0\n[big]\n";
        QTest::newRow("5 MB setting.ini is read") << named + QByteArray(5 << 20, ';') << both << "2.0.0";
        QTest::newRow("setting.ini of exactly the size limit is read")
            << named + QByteArray((16 << 20) - named.size(), ';') << both << "2.0.0";
        QTest::newRow("oversized setting.ini: nothing starts")
            << named + QByteArray(17 << 20, ';') << both << QString();
        QTest::newRow("UTF-16 setting.ini: nothing starts") << utf16Settings() << both << QString();
        QTest::newRow("UTF-8 mark and non-ASCII kept through the code's write")
            << QByteArray("\xEF\xBB\xBF[version]\ncurrent_version=2.0-\xc3\xa9t\xc3\xa9\n[code]\nsoftware_code=\n")
            << QStringList {QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9"), "1.0.0"}
            << QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9");
        QTest::newRow("version holding a NUL: nothing starts")
            << QByteArray("[version]\ncurrent_version=2.0\\0\n") << both << QString();
    }
    void startsChosenVersion()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, installed);
        QFETCH(QString, started);
        Installation installation;
        QVERIFY(installation.isValid());
        for (const QString &version : installed)
            installation.addVersion(version);
        if (!settings.isNull())
            QVERIFY(installation.writeDataSettings(settings));

        // As a developer's shell may have it: no Qt warning may end a launch.
        const Installation::Run run = installation.launch({}, {"env", "QT_FATAL_WARNINGS=1"});

        QVERIFY(run.cleanExit());
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(run.err, QByteArray());
        if (started.isEmpty()) {
            QVERIFY(installation.staysUnstarted());
        } else {
            QVERIFY(installation.waitForStarts(1));
            QCOMPARE(installation.starts(), QStringList {installation.startOf(started)});
        }
        // Writing the code never changes what the version reads as.
        if (settings.contains("software_code=\n"))
            QCOMPARE(QSettings(installation.dataFile("setting.ini"), QSettings::IniFormat)
                         .value("version/current_version")
                         .toString(),
                     started);
    }

    // A settings file whose contents cannot be known names no version, not
    // the default one: nothing starts. One that cannot be there, as a file
    // stands where its folder belongs, is missing: the default starts.
    void settingsOutOfReach_data()
    {
        QTest::addColumn<QString>("blocked"); // made private to root: 0600; or a file
        QTest::addColumn<bool>("byFile");
        QTest::addColumn<QString>("started"); // empty: nothing may start
        QTest::newRow("setting.ini") << "config/Quillora/setting.ini" << false << QString();
        QTest::newRow("data directory, as a sudo run leaves it") << "config/Quillora" << false << QString();
        QTest::newRow("data directory is a file") << "config/Quillora" << true << "1.0.0";
    }
    void settingsOutOfReach()
    {
        QUILLORA_NEEDS("setpriv");
        QFETCH(QString, blocked);
        QFETCH(bool, byFile);
        QFETCH(QString, started);
        Installation installation;
        installation.addVersion("1.0.0");
        installation.addVersion("2.0.0");
        QVERIFY(installation.writeDataSettings("[version]\ncurrent_version=2.0.0\n"));
        const QString path = installation.root() + '/' + blocked;
        const QStringList asUser = byFile ? QStringList() : installation.unprivileged();
        if (byFile) {
            QVERIFY(QDir(path).removeRecursively());
            QVERIFY(Installation::writeFile(path, "not a folder"));
        } else if (asUser.isEmpty()) {
            QSKIP("needs root, to run as another user");
        } else {
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }

        QVERIFY(installation.launch({}, asUser).cleanExit());
        if (started.isEmpty()) {
            QVERIFY(installation.staysUnstarted());
        } else {
            QVERIFY(installation.waitForStarts(1));
            QCOMPARE(installation.starts(), QStringList {installation.startOf(started)});
        }
    }

    // When the launcher's own file is replaced while it starts (an update),
    // its directory is unknown, and taken for none: not for "/".
    void unknownInstallationStartsNothing()
    {
        Installation installation;
        installation.addStandIn(installation.root() + "/outside/Quillora.exe");
        QVERIFY(installation.writeDataSettings("[version]\ncurrent_version=" + installation.root().mid(1).toUtf8()
                                               + "/outside\n"));

        QVERIFY(installation.launch({}, {"sh", "-c", "exec 3<\"$0\"; rm \"$0\"; exec /proc/self/fd/3"}).cleanExit());
        QVERIFY(installation.staysUnstarted());
    }

    void versionDirectoryWithoutExecutableStartsNothing()
    {
        Installation installation;
        installation.addVersion("1.0.0");
        QDir().mkpath(installation.installDir() + "/2.0.0");
        QVERIFY(installation.writeDataSettings("[version]\ncurrent_version=2.0.0\nprevious_version=1.0.0\n"));

        QVERIFY(installation.launch().cleanExit());
        QVERIFY(installation.staysUnstarted());
    }

    // Other files named "Quillora.exe" (beside the launcher, on PATH) must
    // never be started in place of the one that was checked.
    void startsOnlyTheCheckedFile_data()
    {
        QTest::addColumn<bool>("versionInstalled");
        QTest::newRow("version present") << true;
        QTest::newRow("version missing") << false;
    }
    void startsOnlyTheCheckedFile()
    {
        QFETCH(bool, versionInstalled);
        Installation installation;
        QVERIFY(installation.isValid());
        if (versionInstalled)
            installation.addVersion("1.0.0");
        installation.addStandIn(installation.installDir() + "/Quillora.exe");
        installation.addStandIn(installation.root() + "/bin/Quillora.exe");
        QProcessEnvironment env = installation.environment();
        const QString path = installation.root() + "/bin:" + env.value("PATH");

        const Installation::Run run = installation.launch({}, {"env", "PATH=" + path});

        QVERIFY(run.cleanExit());
        if (versionInstalled) {
            QVERIFY(installation.waitForStarts(1));
            QCOMPARE(installation.starts(), QStringList {installation.startOf("1.0.0")});
        } else {
            QVERIFY(installation.staysUnstarted());
        }
    }

    // The application gets the signals and the environment as the launcher
    // got them, whatever Qt or the launcher set for itself (Qt's own start
    // ignores SIGPIPE; the launcher drops Qt's fatal switches), and a
    // session of its own.
    void applicationGetsWhatTheLauncherWasGiven()
    {
        Installation installation;
        installation.addVersion("1.0.0");
        const QStringList environment {"Z=1",
                                       "QT_FATAL_WARNINGS=1",
                                       "EMPTY=",
                                       "qt_fatal_criticals=x",
                                       "XDG_CONFIG_HOME=" + installation.configHome(),
                                       "HOME=" + installation.root()};

        QVERIFY(installation.launch({}, QStringList {"env", "-i", "--ignore-signal=USR1"} + environment).cleanExit());

        QVERIFY(installation.waitForStarts(1));
        const qulonglong ignored
            = installation.seen(Installation::Seen::IgnoredSignals).value(0).toULongLong(nullptr, 16);
        QCOMPARE(ignored & (1ull << (SIGPIPE - 1) | 1ull << (SIGXFSZ - 1)), 0ull); // Qt's, the launcher's own
        QCOMPARE(ignored & (1ull << (SIGUSR1 - 1)), 1ull << (SIGUSR1 - 1));
        QCOMPARE(installation.seen(Installation::Seen::Environment), QStringList {environment.join('|') + '|'});
        QCOMPARE(installation.seen(Installation::Seen::Session), QStringList {"own"});
    }

    // Neither the command line nor the launcher's file name has a say.
    void launcherNameAndArgumentsChangeNothing_data()
    {
        QTest::addColumn<QString>("launcherName");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("programName"); // argv[0]; null: the path
        QTest::newRow("plain") << "quillora-launcher" << QStringList() << QString();
        QTest::newRow("arguments") << "quillora-launcher" << QStringList {"--version", "-v", "two words", ""}
                                   << QString();
        QTest::newRow("renamed") << "Quillora Launcher (old).bin" << QStringList {"x"} << QString();
        QTest::newRow("empty program name") << "quillora-launcher" << QStringList() << "";
        QTest::newRow("program name ending in /") << "quillora-launcher" << QStringList() << "launcher/";
    }
    void launcherNameAndArgumentsChangeNothing()
    {
        QFETCH(QString, launcherName);
        QFETCH(QStringList, arguments);
        QFETCH(QString, programName);
        Installation installation(launcherName);
        QVERIFY(installation.isValid());
        installation.addVersion("1.0.0");
        installation.addVersion("2.0.0");
        QVERIFY(installation.writeDataSettings("[version]\ncurrent_version=2.0.0\n"));

        const QStringList asNamed {"bash", "-c", "exec -a \"$0\" \"$@\"", programName};
        const Installation::Run run = installation.launch(arguments, programName.isNull() ? QStringList() : asNamed);

        QVERIFY(run.cleanExit());
        QVERIFY(installation.waitForStarts(1));
        QCOMPARE(installation.starts(), QStringList {installation.startOf("2.0.0")});
        QVERIFY(QFileInfo(installation.dataFile("logs")).isDir());
        QCOMPARE(QDir(installation.configHome()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList {"Quillora"});
        QVERIFY(!QFileInfo::exists(installation.root() + "/Quillora"));
    }
};

QTEST_GUILESS_MAIN(LaunchTest)
#include "tst_launch.moc"
