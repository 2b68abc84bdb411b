// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/installation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

// "user.ini" holds a password: what the launcher creates is its user's alone,
// what already exists keeps the modes its owner gave it.
class PrivacyTest : public QObject
{
    Q_OBJECT

    static QString modeOf(const QString &path)
    {
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return QStringLiteral("missing");
        return QString::number(info.st_mode & 07777, 8);
    }
    // Runs the launcher with the user's usual mask.
    static Installation::Run launchWithUmask022(const Installation &installation)
    {
        return installation.launch({}, {"sh", "-c", "umask 022; exec \"$0\" \"$@\""});
    }

private Q_SLOTS:
    void createdFilesArePrivate()
    {
        Installation installation;
        installation.addVersion("2.0.0");
        QVERIFY(installation.writeLegacySettings("[version]\ncurrent_version=2.0.0\n"));

        QVERIFY(launchWithUmask022(installation).cleanExit());

        QCOMPARE(modeOf(installation.dataDir()), QStringLiteral("700"));
        QCOMPARE(modeOf(installation.dataFile("logs")), QStringLiteral("700"));
        QCOMPARE(modeOf(installation.dataFile("user.ini")), QStringLiteral("600"));
        QCOMPARE(modeOf(installation.dataFile("setting.ini")), QStringLiteral("600"));
        // The application itself gets the user's mask back.
        QVERIFY(installation.waitForStarts(1));
        QCOMPARE(installation.seen(Installation::Seen::Umask), QStringList {"0022"});
    }

    // The code step's locks too are made for their owner alone: the
    // application's settings lock created while the file-creation mask is
    // 077, the launchers' own with mode 0600.
    void lockFileIsPrivate()
    {
        QUILLORA_NEEDS("strace");
        Installation installation;
        QVERIFY(Installation::writeFile(installation.dataFile("user.ini"), "[config]\n"));
        QVERIFY(installation.writeDataSettings("[code]\nsoftware_code=\n"));
        const QString trace = installation.root() + "/trace";

        QVERIFY(installation.launch({}, {"strace", "-o", trace, "-e", "trace=umask,openat"}).cleanExit());

        const QString calls = QString::fromUtf8(Installation::readFile(trace));
        const int created = calls.indexOf("setting.ini.lock\", O_RDWR|O_CREAT");
        QVERIFY2(created > 0, qPrintable(calls));
        QCOMPARE(calls.lastIndexOf("umask(", created), calls.lastIndexOf("umask(077)", created));
        QCOMPARE(modeOf(installation.dataFile("launcher.lock")), QStringLiteral("600"));
    }

    void existingModesAreKept_data()
    {
        QTest::addColumn<int>("directoryMode");
        QTest::addColumn<int>("settingsMode");
        QTest::newRow("shared directory, readable file") << 0755 << 0644;
        QTest::newRow("group-writable file") << 0750 << 0664;
        QTest::newRow("private") << 0700 << 0600;
    }
    void existingModesAreKept()
    {
        QFETCH(int, directoryMode);
        QFETCH(int, settingsMode);
        Installation installation;
        QVERIFY(installation.writeDataSettings("[code]\nsoftware_code=\n"));
        QVERIFY(::chmod(QFile::encodeName(installation.dataDir()).constData(), directoryMode) == 0);
        QVERIFY(::chmod(QFile::encodeName(installation.dataFile("setting.ini")).constData(), settingsMode) == 0);

        QVERIFY(launchWithUmask022(installation).cleanExit());

        QVERIFY(isWellFormedCode(storedCode(installation.dataFile("setting.ini"))));
        QCOMPARE(modeOf(installation.dataDir()), QString::number(directoryMode, 8));
        QCOMPARE(modeOf(installation.dataFile("setting.ini")), QString::number(settingsMode, 8));
        // New files in an existing, shared directory are still private.
        QCOMPARE(modeOf(installation.dataFile("user.ini")), QStringLiteral("600"));
        QCOMPARE(modeOf(installation.dataFile("logs")), QStringLiteral("700"));
    }
};

QTEST_GUILESS_MAIN(PrivacyTest)
#include "tst_privacy.moc"
