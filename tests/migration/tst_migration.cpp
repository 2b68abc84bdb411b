// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/installation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// A new user gets default preferences; an upgrade from a release that kept
// "setting.ini" beside the launcher starts the version that file named, and
// never loses it on the way.
class MigrationTest : public QObject
{
    Q_OBJECT

    static QString legacyPath(const Installation &installation)
    {
        return installation.installDir() + QStringLiteral("/setting.ini");
    }

private Q_SLOTS:
    void seedsDefaults()
    {
        Installation installation;
        QVERIFY(installation.launch().cleanExit());

        const QSettings user(installation.dataFile("user.ini"), QSettings::IniFormat);
        QCOMPARE(user.allKeys().size(), 6);
        QCOMPARE(user.value("config/login").toString(), QStringLiteral("0"));
        QCOMPARE(user.value("config/username").toString(), QStringLiteral("admin"));
        QCOMPARE(user.value("config/password").toString(), QStringLiteral("5820"));
        QCOMPARE(user.value("config/show_stream").toString(), QStringLiteral("1"));
        QCOMPARE(user.value("config/lang").toString(), QStringLiteral("zh_CN"));
        QCOMPARE(user.value("config/showdevicetype").toString(), QStringLiteral("0"));
    }

    void keepsExistingUserSettings_data()
    {
        QTest::addColumn<QByteArray>("user");
        QTest::newRow("keys missing") << QByteArray("[config]\nlang=en_GB\n");
        QTest::newRow("values changed") << QByteArray(
            "[config]\nlogin=1\nusername=ann\npassword=1234\nshow_stream=0\nlang=de_DE\nshowdevicetype=2\n");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("comments and odd spacing") << QByteArray("; mine\n[config]\n  lang = fr_FR  \r\n");
    }
    void keepsExistingUserSettings()
    {
        QFETCH(QByteArray, user);
        Installation installation;
        QVERIFY(Installation::writeFile(installation.dataFile("user.ini"), user));

        QVERIFY(installation.launch().cleanExit());

        QCOMPARE(Installation::readFile(installation.dataFile("user.ini")), user);
    }

    void migratesLegacySettings_data()
    {
        QTest::addColumn<QByteArray>("legacy");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QByteArray>("data"); // the data directory's "setting.ini"; null: none
        QTest::addColumn<QString>("current"); // expected afterwards
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("code"); // empty: a new one
        QTest::addColumn<QString>("started");
        QTest::addColumn<bool>("dataKept"); // byte for byte

        const QByteArray legacy = "[version]\ncurrent_version=2.0.0\nprevious_version=1.5.0\n"
                                  "[code]\nsoftware_code=LEGACYCODE\n";
        QTest::newRow("upgrade") << legacy << false << QByteArray() << "2.0.0"
                                 << "1.5.0"
                                 << ""
                                 << "2.0.0" << false;
        QTest::newRow("read-only legacy file") << legacy << true << QByteArray() << "2.0.0"
                                               << "1.5.0"
                                               << ""
                                               << "2.0.0" << false;
        QTest::newRow("legacy file without versions")
            << QByteArray("[code]\nsoftware_code=LEGACYCODE\n") << false << QByteArray() << ""
            << ""
            << ""
            << "1.0.0" << false;
        QTest::newRow("data file wins") << legacy << false
                                        << QByteArray(
                                               "[code]\nsoftware_code=KEPT\n\n[version]\ncurrent_version=1.5.0\n")
                                        << "1.5.0"
                                        << ""
                                        << "KEPT"
                                        << "1.5.0" << true;
        QTest::newRow("data file wins, its empty code filled")
            << legacy << true << QByteArray("[version]\ncurrent_version=1.0.0\nprevious_version=\n") << "1.0.0"
            << ""
            << ""
            << "1.0.0" << false;
        // A data file that names no version must not win over one that does.
        QTest::newRow("empty data file takes the versions") << legacy << false << QByteArray("") << "2.0.0"
                                                            << "1.5.0"
                                                            << ""
                                                            << "2.0.0" << false;
        QTest::newRow("data file with only a code keeps it")
            << legacy << false << QByteArray("[code]\nsoftware_code=KEPT\n") << "2.0.0"
            << "1.5.0"
            << "KEPT"
            << "2.0.0" << false;
        // Nothing to carry: the data file stays exactly as it was.
        QTest::newRow("neither file names a version") << QByteArray("[code]\nsoftware_code=LEGACYCODE\n") << false
                                                      << QByteArray("[code]\nsoftware_code=KEPT\n") << ""
                                                      << ""
                                                      << "KEPT"
                                                      << "1.0.0" << true;
    }

    void migratesLegacySettings()
    {
        QFETCH(QByteArray, legacy);
        QFETCH(bool, readOnly);
        QFETCH(QByteArray, data);
        QFETCH(QString, current);
        QFETCH(QString, previous);
        QFETCH(QString, code);
        QFETCH(QString, started);
        QFETCH(bool, dataKept);
        Installation installation;
        QVERIFY(installation.isValid());
        for (const char *version : {"1.0.0", "1.5.0", "2.0.0"})
            installation.addVersion(version);
        QVERIFY(installation.writeLegacySettings(legacy));
        if (readOnly)
            QVERIFY(QFile::setPermissions(legacyPath(installation), QFileDevice::ReadOwner | QFileDevice::ReadOther));
        if (!data.isNull())
            QVERIFY(installation.writeDataSettings(data));
        // Files of the user's or the application's, named like the
        // launcher's own: a launch that writes must leave them be.
        const QStringList foreign {"setting.ini.backup",        "user.ini.before",
                                   "setting.ini.scratch.mine",  "launcher.lock.old",
                                   "setting.ini.scratch.abcde", "setting.ini.scratch.AbC123.abcdefg"};
        for (const QString &name : foreign)
            QVERIFY(Installation::writeFile(installation.dataFile(name), name.toUtf8()));

        QVERIFY(installation.launch().cleanExit());

        QVERIFY(!QFileInfo::exists(legacyPath(installation)));
        const QString path = installation.dataFile("setting.ini");
        const QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.value("version/current_version").toString(), current);
        QCOMPARE(settings.value("version/previous_version").toString(), previous);
        if (dataKept) {
            QCOMPARE(Installation::readFile(path), data);
        } else if (!code.isEmpty()) {
            QCOMPARE(storedCode(path), code);
        } else {
            // The legacy code stays behind: the installation gets its own.
            QVERIFY2(isWellFormedCode(storedCode(path)), qPrintable(storedCode(path)));
        }
        for (const QString &name : foreign)
            QCOMPARE(Installation::readFile(installation.dataFile(name)), name.toUtf8());
        QVERIFY(installation.waitForStarts(1));
        QCOMPARE(installation.starts(), QStringList {installation.startOf(started)});
    }

    // The old file goes only once the new one is on the disk for good: its
    // directory entry too, and those of the folders the launch created.
    void legacyFileGoesOnlyOnceDurable()
    {
        QUILLORA_NEEDS("strace");
        Installation installation;
        QVERIFY(installation.writeLegacySettings("[version]\ncurrent_version=2.0.0\n"));
        installation.setConfigHome(installation.root() + "/config/new");
        const QString trace = installation.root() + "/trace";

        QVERIFY(installation.launch({}, {"strace", "-f", "-y", "-qq", "-o", trace, "-e", "trace=fsync,unlink,unlinkat"})
                    .cleanExit());

        const QString calls = QString::fromUtf8(Installation::readFile(trace));
        const int removal = calls.indexOf(legacyPath(installation) + "\"");
        QVERIFY2(removal > 0, qPrintable(calls));
        QVERIFY(calls.lastIndexOf(QRegularExpression("fsync\\(\\d+<" + installation.dataDir() + ">\\) = 0"), removal)
                > 0);
        QVERIFY(calls.lastIndexOf(QRegularExpression("fsync\\(\\d+<" + installation.configHome() + ">\\) = 0"), removal)
                > 0);
        QVERIFY(
            calls.lastIndexOf(QRegularExpression("fsync\\(\\d+<" + installation.root() + "/config>\\) = 0"), removal)
            > 0);
        // And the new file itself: QSaveFile's unnamed temporary, once the
        // scratch copy it was made from is gone.
        const int made = calls.lastIndexOf("setting.ini.scratch", removal);
        const int synced
            = calls.indexOf(QRegularExpression("fsync\\(\\d+<" + installation.dataDir() + "/#\\d+>"), made);
        QVERIFY2(made > 0 && synced > made && synced < removal, qPrintable(calls));
    }

    // A legacy file nobody may remove (a per-machine installation) beside a
    // data file that names a version costs a launch nothing: no lock, no sync.
    void unremovableLegacyFileCostsNothing()
    {
        QUILLORA_NEEDS("strace");
        QUILLORA_NEEDS("setpriv");
        Installation installation;
        installation.addVersion("2.0.0");
        QVERIFY(Installation::writeFile(installation.dataFile("user.ini"), "[config]\n"));
        QVERIFY(installation.writeDataSettings("[code]\nsoftware_code=KEPT\n[version]\ncurrent_version=2.0.0\n"));
        QVERIFY(installation.writeLegacySettings("[version]\ncurrent_version=1.0.0\n"));
        const QString trace = installation.root() + "/trace";
        const QStringList asUser = installation.unprivileged(); // cannot write the installation
        if (asUser.isEmpty())
            QSKIP("needs root, to run as a user who cannot write the installation");

        QVERIFY(installation.launch({}, QStringList {"strace", "-f", "-o", trace, "-e", "trace=fsync,openat"} + asUser)
                    .cleanExit());

        QVERIFY(QFileInfo::exists(legacyPath(installation)));
        const QString calls = QString::fromUtf8(Installation::readFile(trace));
        QVERIFY2(!calls.contains("fsync(") && !calls.contains("launcher.lock"), qPrintable(calls));
        QVERIFY(installation.waitForStarts(1));
    }

    // Only the legacy file's own directory entry goes: a file it links to,
    // or shares its data with, keeps its contents and its mode.
    void legacyRemovalLeavesLinkedFilesAlone_data()
    {
        QTest::addColumn<bool>("symbolic");
        QTest::newRow("symbolic link") << true;
        QTest::newRow("hard link") << false;
    }
    void legacyRemovalLeavesLinkedFilesAlone()
    {
        QFETCH(bool, symbolic);
        Installation installation;
        installation.addVersion("2.0.0");
        const QString shared = installation.root() + "/shared.ini";
        const QByteArray contents = "[version]\ncurrent_version=2.0.0\n";
        QVERIFY(Installation::writeFile(shared, contents));
        QVERIFY(::chmod(qPrintable(shared), 0640) == 0);
        QVERIFY(symbolic ? QFile::link(shared, legacyPath(installation))
                         : ::link(qPrintable(shared), qPrintable(legacyPath(installation))) == 0);

        QVERIFY(installation.launch().cleanExit());

        QVERIFY(!QFileInfo::exists(legacyPath(installation)) && !QFileInfo(legacyPath(installation)).isSymLink());
        struct stat info;
        QVERIFY(::stat(qPrintable(shared), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
        QCOMPARE(Installation::readFile(shared), contents);
        QVERIFY(installation.waitForStarts(1));
        QCOMPARE(installation.starts(), QStringList {installation.startOf("2.0.0")});
    }

    void noLegacyFileNoSettings()
    {
        Installation installation;
        installation.addVersion("1.0.0");
        QVERIFY(installation.launch().cleanExit());
        QVERIFY(!QFileInfo::exists(installation.dataFile("setting.ini")));
        QVERIFY(!QFileInfo::exists(legacyPath(installation)));
        QVERIFY(installation.waitForStarts(1));
    }

    // When the new file cannot be written, or its lock not be had, the old
    // one is all that holds the installed version: it stays as it was, still
    // names the version to start, and a later launch moves it.
    void legacyFileKeptUntilMoved_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("unwritable data directory") << "unwritable";
        QTest::newRow("folder named setting.ini") << "folder";
        QTest::newRow("read-only setting.ini without versions") << "read-only";
        QTest::newRow("lock held by another launcher") << "lock";
        // Decided again under the application's lock: its save stands.
        QTest::newRow("the application saves meanwhile") << "application saves";
        // Seen by a full parse only: a version the application may read.
        QTest::newRow("a top-level version line") << "top-level version";
    }
    void legacyFileKeptUntilMoved()
    {
        QUILLORA_NEEDS("setpriv");
        QFETCH(QString, obstacle);
        Installation installation;
        installation.addVersion("1.0.0");
        installation.addVersion("2.0.0");
        const QByteArray legacy = "[version]\ncurrent_version=2.0.0\nprevious_version=1.0.0\n";
        QVERIFY(installation.writeLegacySettings(legacy));
        const auto legacyMode = QFile::permissions(legacyPath(installation));
        QVERIFY(QDir().mkpath(installation.dataDir()));
        QStringList asUser;
        QLockFile lock(installation.dataFile("launcher.lock"));
        if (obstacle == "unwritable") {
            asUser = installation.unprivileged();
            QVERIFY(QFile::setPermissions(installation.dataDir(),
                                          QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                              | QFileDevice::ExeOther));
        } else if (obstacle == "folder") {
            QVERIFY(QDir().mkpath(installation.dataFile("setting.ini")));
        } else if (obstacle == "read-only") {
            QVERIFY(installation.writeDataSettings("[code]\nsoftware_code=\n"));
            QVERIFY(QFile::setPermissions(installation.dataFile("setting.ini"), QFileDevice::ReadOwner));
        } else if (obstacle == "top-level version") {
            QVERIFY(installation.writeDataSettings("version\\current_version=1.0.0\n"));
        } else if (obstacle == "lock") {
            QVERIFY(lock.lock());
        }
        QLockFile applicationsLock(installation.dataFile("setting.ini.lock"));
        const QByteArray saved = "[version]\ncurrent_version=2.0.0\nprevious_version=1.5.0\n";
        if (obstacle == "application saves")
            QVERIFY(applicationsLock.lock());

        QProcess *launch = installation.start({}, asUser);
        if (obstacle == "application saves") {
            QTest::qWait(500);
            QVERIFY(installation.writeDataSettings(saved));
            applicationsLock.unlock();
        }
        QVERIFY(Installation::finish(launch).cleanExit());
        if (obstacle == "application saves") // then only its code is added
            QVERIFY(Installation::readFile(installation.dataFile("setting.ini")).startsWith(saved + "\n[code]"));

        QCOMPARE(Installation::readFile(legacyPath(installation)), legacy);
        QCOMPARE(QFile::permissions(legacyPath(installation)), legacyMode);
        QVERIFY(installation.waitForStarts(1));
        QCOMPARE(installation.starts(), QStringList {installation.startOf("2.0.0")});

        lock.unlock();
        QVERIFY(QFile::setPermissions(installation.dataDir(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        QDir(installation.dataFile("setting.ini")).removeRecursively();
        QFile::remove(installation.dataFile("setting.ini"));
        QVERIFY(installation.launch().cleanExit());

        QVERIFY(!QFileInfo::exists(legacyPath(installation)));
        const QSettings settings(installation.dataFile("setting.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value("version/current_version").toString(), QStringLiteral("2.0.0"));
        QVERIFY(installation.waitForStarts(2));
        QCOMPARE(installation.starts().last(), installation.startOf("2.0.0"));
    }

    // Values never read must not be deleted with the file, and while it is
    // the only file that could name the version, nothing starts.
    void unreadableLegacyFileIsKept_data()
    {
        QTest::addColumn<QByteArray>("legacy");
        QTest::addColumn<bool>("readable"); // by its mode
        QTest::newRow("mode 0200") << QByteArray("[version]\ncurrent_version=2.0.0\n") << false;
        QTest::newRow("UTF-16") << utf16Settings() << true;
    }
    void unreadableLegacyFileIsKept()
    {
        QUILLORA_NEEDS("setpriv");
        QFETCH(QByteArray, legacy);
        QFETCH(bool, readable);
        Installation installation;
        installation.addVersion("1.0.0");
        QVERIFY(installation.writeLegacySettings(legacy));
        QVERIFY(QFile::setPermissions(legacyPath(installation),
                                      readable ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                               : QFileDevice::WriteOwner));
        const QStringList asUser = installation.unprivileged();
        if (!asUser.isEmpty()) {
            // The unprivileged user owns the installation but still cannot
            // read the file.
            QVERIFY(::chown(qPrintable(installation.installDir()), 65534, 65534) == 0);
            QVERIFY(::chown(qPrintable(legacyPath(installation)), 65534, 65534) == 0);
            QVERIFY(QDir().mkpath(installation.dataDir()));
            QVERIFY(::chown(qPrintable(installation.dataDir()), 65534, 65534) == 0);
        }

        QVERIFY(installation.launch({}, asUser).cleanExit());

        QVERIFY(QFile::setPermissions(legacyPath(installation), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(Installation::readFile(legacyPath(installation)), legacy);
        QVERIFY(!QFileInfo::exists(installation.dataFile("setting.ini")));
        QVERIFY(installation.staysUnstarted());
    }

    // Launchers started together on an upgrade all start the version the
    // legacy file named, and all see one code that never changes.
    void launchersStartedTogetherOnUpgrade_data()
    {
        QTest::addColumn<int>("round");
        for (int round = 1; round <= 4; ++round)
            QTest::addRow("round %d", round) << round;
    }
    void launchersStartedTogetherOnUpgrade()
    {
        Installation installation;
        for (const char *version : {"1.0.0", "2.0.0"})
            installation.addVersion(version);
        QVERIFY(installation.writeLegacySettings("[version]\ncurrent_version=2.0.0\nprevious_version=1.0.0\n"));

        QList<QProcess *> processes;
        for (int i = 0; i < 8; ++i)
            processes.append(installation.start());
        for (QProcess *process : processes)
            QVERIFY(Installation::finish(process).cleanExit());

        QVERIFY(!QFileInfo::exists(legacyPath(installation)));
        const QString code = storedCode(installation.dataFile("setting.ini"));
        QVERIFY2(isWellFormedCode(code), qPrintable(code));
        QVERIFY(installation.waitForStarts(8));
        QCOMPARE(installation.starts(), QStringList(QVector<QString>(8, installation.startOf("2.0.0")).toList()));
        QCOMPARE(installation.seen(Installation::Seen::Code), QStringList(QVector<QString>(8, code).toList()));
        QVERIFY(!isLockHeld(installation.dataFile("launcher.lock")));
    }
};

QTEST_GUILESS_MAIN(MigrationTest)
#include "tst_migration.moc"
