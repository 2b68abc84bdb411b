// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/installation.h"
#include "launcher/softwarecode.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTest>

#include <sys/stat.h>

// Each data directory gets one software code, at its first launch with a
// "setting.ini", and keeps it for good.
class SoftwareCodeTest : public QObject
{
    Q_OBJECT

    // How often the traced launchers put a new file in place at `name`.
    static int replacementsOf(const Installation &installation, const QString &name)
    {
        const QRegularExpression replacement(", \"[^\"]*/" + QRegularExpression::escape(name) + "\"[^=]*= 0$");
        int count = 0;
        for (int i = 0; i < 8; ++i) {
            const QString trace
                = QString::fromUtf8(Installation::readFile(installation.root() + QStringLiteral("/trace.%1").arg(i)));
            for (const QString &line : trace.split('\n'))
                count += replacement.match(line).hasMatch();
        }
        return count;
    }

private Q_SLOTS:
    void newCodesAreWellFormedAndDistinct()
    {
        QSet<QString> codes;
        for (int i = 0; i < 200; ++i) {
            const QString code = makeSoftwareCode();
            QVERIFY2(isWellFormedCode(code), qPrintable(code));
            codes.insert(code);
        }
        QCOMPARE(codes.size(), 200);
    }

    // The code goes in its own line; every other byte of the file stays.
    void fillsEmptyCode_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QByteArray>("expected"); // {code}: the new code
        QTest::addColumn<bool>("staleLockFiles"); // as a fault leaves them: empty, just now
        const QByteArray empty = "[code]\nsoftware_code=\n\n[version]\ncurrent_version=2.0.0\n";
        QTest::newRow("empty code") << empty
                                    << QByteArray("[code]\nsoftware_code={code}\n\n[version]\ncurrent_version=2.0.0\n")
                                    << false;
        QTest::newRow("missing key") << QByteArray("[version]\ncurrent_version=2.0.0\n")
                                     << QByteArray("[version]\ncurrent_version=2.0.0\n\n[code]\nsoftware_code={code}\n")
                                     << false;
        QTest::newRow("UTF-8 mark, non-ASCII text, CR LF, no final line end")
            << QByteArray("\xEF\xBB\xBF[version]\r\ncurrent_version=2.0.0\r\n[code]\r\nname=\xE6\xBC\xA2\xE5\xAD\x97 "
                          "caf\xC3\xA9")
            << QByteArray("\xEF\xBB\xBF[version]\r\ncurrent_version=2.0.0\r\n[code]\r\nname=\xE6\xBC\xA2\xE5\xAD\x97 "
                          "caf\xC3\xA9"
                          "\r\nsoftware_code={code}")
            << false;
        // As the application's own QSettings writes a type it registers,
        // which the launcher cannot load; comments; a path Qt would rewrite.
        QTest::newRow("lines only the application can read")
            << QByteArray("; mine\n[window]\nstate=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aWindow\\0\\0\\0\\x1)\n"
                          "export=C:\\data\\new\\tools ; "
                          "kept\n[version]\ncurrent_version=2.0.0\n[code]\nsoftware_code= ; set\n")
            << QByteArray("; mine\n[window]\nstate=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aWindow\\0\\0\\0\\x1)\n"
                          "export=C:\\data\\new\\tools ; "
                          "kept\n[version]\ncurrent_version=2.0.0\n[code]\nsoftware_code= {code}; set\n")
            << false;
        // Qt reads "#" lines with a format error, and the rest all the same.
        QTest::newRow("format error, duplicate sections, escaped names")
            << QByteArray("# mine\n[co%64e]\nx=1\n[version]\ncurrent_version=2.0.0\n[code]\ny=2\n\n[other]\n")
            << QByteArray("# "
                          "mine\n[co%64e]\nx=1\n[version]\ncurrent_version=2.0.0\n[code]\ny=2\nsoftware_code={code}"
                          "\n\n[other]\n")
            << false;
        QTest::newRow("the last of duplicate keys")
            << QByteArray("[code]\nsoftware_code=A\n[code]\nsoftware_code=\n")
            << QByteArray("[code]\nsoftware_code=A\n[code]\nsoftware_code={code}\n") << false;
        // The application reads a key on the mark's line with the mark in
        // its name, so a code there is none: a [code] section is.
        QTest::newRow("a top-level code line behind a UTF-8 mark")
            << QByteArray("\xEF\xBB\xBF"
                          "code\\software_code=\n")
            << QByteArray("\xEF\xBB\xBF"
                          "code\\software_code=\n\n[code]\nsoftware_code={code}\n")
            << false;
        QTest::newRow("empty lock files left by a fault")
            << empty << QByteArray("[code]\nsoftware_code={code}\n\n[version]\ncurrent_version=2.0.0\n") << true;
    }
    void fillsEmptyCode()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, expected);
        QFETCH(bool, staleLockFiles);
        Installation installation;
        QVERIFY(installation.isValid());
        installation.addVersion("2.0.0");
        installation.addVersion("1.0.0");
        QVERIFY(installation.writeDataSettings(settings));
        if (staleLockFiles) {
            for (const char *name :
                 {"launcher.lock", "launcher.lock.rmlock", "setting.ini.lock", "setting.ini.lock.rmlock"})
                QVERIFY(Installation::writeFile(installation.dataFile(name), ""));
        }

        QVERIFY(installation.launch().cleanExit());

        const QString path = installation.dataFile("setting.ini");
        const QString code = storedCode(path);
        QVERIFY2(isWellFormedCode(code), qPrintable(code));
        QCOMPARE(Installation::readFile(path), QByteArray(expected).replace("{code}", code.toLatin1()));
        // The application started by this launch already sees the code.
        QVERIFY(installation.waitForStarts(1));
        QCOMPARE(installation.seen(Installation::Seen::Code), QStringList {code});
        QCOMPARE(QDir(installation.dataDir()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"launcher.lock", "setting.ini", "user.ini"}));
    }

    // A stored code is never checked or changed, whatever it looks like;
    // nothing in the file is rewritten.
    void keepsStoredCode_data()
    {
        QTest::addColumn<QByteArray>("code"); // as it stands in the file
        QTest::newRow("odd") << QByteArray("abc");
        QTest::newRow("lower case") << QByteArray("3b7453e022b04ec0a145debacd909df8");
        QTest::newRow("braces") << QByteArray("\"{3B7453E0-22B0-4EC0-A145-DEBACD909DF8}\"");
        QTest::newRow("blank") << QByteArray("\" \"");
        QTest::newRow("split by a comma, which Qt reads as a list") << QByteArray("3B7453E022B04EC0,A145DEBACD909DF8");
    }
    void keepsStoredCode()
    {
        QFETCH(QByteArray, code);
        Installation installation;
        QVERIFY(installation.isValid());
        const QByteArray settings = "[code]\nsoftware_code=" + code + "\n";
        QVERIFY(installation.writeDataSettings(settings));

        QVERIFY(installation.launch().cleanExit());

        QCOMPARE(Installation::readFile(installation.dataFile("setting.ini")), settings);
    }

    // A file in a form Qt 5 cannot read might hold anything, and one its
    // user made read-only is theirs to keep as it is (root could write it).
    // An oversized one is not read at all.
    void leavesFileAlone_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("starts"); // unreadable settings name no version; others do
        QTest::newRow("NUL bytes") << QByteArray(512, '\0') << 0600 << false;
        static const char utf16[] = "\xFF\xFE[\0v\0]\0\n\0a\0=\0b\0\n\0";
        QTest::newRow("UTF-16") << QByteArray(utf16, sizeof utf16 - 1) << 0600 << false;
        QTest::newRow("oversized") << "[code]\nsoftware_code=\n" + QByteArray(17 << 20, ';') << 0600 << false;
        QTest::newRow("read-only, 0444") << QByteArray("[code]\nsoftware_code=\n") << 0444 << true;
        QTest::newRow("read-only, 0400") << QByteArray("[code]\nsoftware_code=\n") << 0400 << true;
        // A fresh value() looks for the code in [code\a] and never in
        // [code]: no edit makes a code visible to every reading.
        QTest::newRow("[code] hidden by [code\\a]")
            << QByteArray("[code]\nsoftware_code=\n[code\\a]\nx=1\n") << 0600 << true;
    }
    void leavesFileAlone()
    {
        QFETCH(QByteArray, settings);
        QFETCH(int, mode);
        QFETCH(bool, starts);
        Installation installation;
        installation.addVersion("1.0.0");
        QVERIFY(installation.writeDataSettings(settings));
        QVERIFY(::chmod(qPrintable(installation.dataFile("setting.ini")), mode_t(mode)) == 0);

        QVERIFY(installation.launch().cleanExit());

        QCOMPARE(Installation::readFile(installation.dataFile("setting.ini")), settings);
        struct stat info;
        QVERIFY(::stat(qPrintable(installation.dataFile("setting.ini")), &info) == 0);
        QCOMPARE(int(info.st_mode & 07777), mode);
        QVERIFY(starts ? installation.waitForStarts(1) : installation.staysUnstarted());
    }

    // A write past the file-size limit (ulimit -f, here 2 KB) fails like any
    // other: the file stays whole, and the application still starts.
    void fileSizeLimitFailsTheWriteOnly()
    {
        Installation installation;
        installation.addVersion("2.0.0");
        const QByteArray settings = "[version]\ncurrent_version=2.0.0\n[big]\nkey=" + QByteArray(4096, 'x') + "\n";
        QVERIFY(installation.writeDataSettings(settings));

        QVERIFY(installation.launch({}, {"sh", "-c", "ulimit -f 4; exec \"$0\""}).cleanExit());

        QCOMPARE(Installation::readFile(installation.dataFile("setting.ini")), settings);
        QVERIFY(installation.waitForStarts(1));
        QCOMPARE(installation.starts(), QStringList {installation.startOf("2.0.0")});
    }

    void laterLaunchesKeepTheFirstCode()
    {
        Installation installation;
        QVERIFY(installation.writeDataSettings("[code]\nsoftware_code=\n"));
        QVERIFY(installation.launch().cleanExit());
        const QByteArray first = Installation::readFile(installation.dataFile("setting.ini"));
        QVERIFY(isWellFormedCode(storedCode(installation.dataFile("setting.ini"))));

        for (int i = 0; i < 3; ++i)
            QVERIFY(installation.launch().cleanExit());

        QCOMPARE(Installation::readFile(installation.dataFile("setting.ini")), first);
    }

    void eachDataDirectoryHasItsOwnCode()
    {
        Installation a;
        Installation b;
        QVERIFY(a.writeDataSettings("[code]\nsoftware_code=\n"));
        QVERIFY(b.writeDataSettings("[code]\nsoftware_code=\n"));
        QVERIFY(a.launch().cleanExit());
        QVERIFY(b.launch().cleanExit());
        QVERIFY(isWellFormedCode(storedCode(a.dataFile("setting.ini"))));
        QVERIFY(storedCode(a.dataFile("setting.ini")) != storedCode(b.dataFile("setting.ini")));
    }

    void noSettingsFileNoCode()
    {
        Installation installation;
        QVERIFY(installation.launch().cleanExit());
        QVERIFY(!QFileInfo::exists(installation.dataFile("setting.ini")));
        QVERIFY(!QFileInfo::exists(installation.installDir() + "/setting.ini"));
    }

    // A double-click can start several launchers at once: they must settle
    // on one code, and no started application may see its code change.
    // Traced rounds count the writes of "setting.ini" outright: exactly one
    // launcher may write it. The others rely on a started application seeing
    // a code that later changed, which a lost race shows only sometimes.
    void launchersStartedTogetherStoreOneCode_data()
    {
        QTest::addColumn<bool>("traced");
        for (int round = 1; round <= 6; ++round)
            QTest::addRow("round %d", round) << false;
        for (int round = 1; round <= 2; ++round)
            QTest::addRow("traced round %d", round) << true;
    }
    void launchersStartedTogetherStoreOneCode()
    {
        QFETCH(bool, traced);
        if (traced)
            QUILLORA_NEEDS("strace");
        Installation installation;
        QVERIFY(installation.isValid());
        installation.addVersion("1.0.0");
        QVERIFY(installation.writeDataSettings("[code]\nsoftware_code=\n"));

        QList<QProcess *> processes;
        for (int i = 0; i < 8; ++i) {
            const QString trace = installation.root() + QStringLiteral("/trace.%1").arg(i);
            processes.append(installation.start(
                {},
                traced
                    ? QStringList {"strace", "-f", "-qq", "-e", "trace=rename,renameat,renameat2,linkat", "-o", trace}
                    : QStringList()));
        }
        for (QProcess *process : processes)
            QVERIFY(Installation::finish(process).cleanExit());
        if (traced)
            QCOMPARE(replacementsOf(installation, "setting.ini"), 1);

        const QString code = storedCode(installation.dataFile("setting.ini"));
        QVERIFY2(isWellFormedCode(code), qPrintable(code));
        QVERIFY(installation.waitForStarts(8));
        QCOMPARE(installation.seen(Installation::Seen::Code), QStringList(QVector<QString>(8, code).toList()));
        QVERIFY(!isLockHeld(installation.dataFile("launcher.lock")));
    }
};

QTEST_GUILESS_MAIN(SoftwareCodeTest)
#include "tst_softwarecode.moc"
