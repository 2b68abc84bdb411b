// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/installation.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTest>

// Whatever the launcher finds (damaged or huge files, folders where files
// belong, odd versions), it exits quietly with 0, leaves the user's
// preferences alone and writes nothing outside the data directory.
class BadInputTest : public QObject
{
    Q_OBJECT

    static QByteArray garbage() { return "\x01\x02[[[ ]\n=\n==x=\n\\\\\\\n%%ZZ\n[version\ncurrent_version\n"; }
    static QByteArray binary()
    {
        QByteArray bytes;
        for (int i = 0; i < 4096; ++i)
            bytes.append(char((i * 131) % 256));
        return bytes;
    }
    static QByteArray huge()
    {
        const QByteArray line = "key=" + QByteArray(60, 'v') + "\n";
        return "[version]\ncurrent_version=1.0.0\n[big]\n" + line.repeated(5 * 1024 * 1024 / line.size());
    }
    static QByteArray withBom() { return "\xEF\xBB\xBF[version]\ncurrent_version=1.0.0\n[config]\nlang=en_GB\n"; }
    static QByteArray nuls() { return QByteArray(4096, '\0'); }
    // What the launcher wrote, without the note a sanitizer build's allocator
    // adds where the real one only returns null.
    static QString launchersOwn(const QByteArray &err)
    {
        static const QRegularExpression note("^==\\d+==WARNING: AddressSanitizer failed to allocate .*\n",
                                             QRegularExpression::MultilineOption);
        return QString::fromLocal8Bit(err).remove(note);
    }
    // A string list of 0x7fffffff items, in QSettings' own notation, and a
    // version to start beside it.
    static QByteArray damagedList(const char *section)
    {
        return QByteArray("[version]\ncurrent_version=1.0.0\n[") + section
            + "]\nprevious_version=@Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\n";
    }

    // A QLockFile's text as a leftover of `kind` would hold it: none, garbage,
    // a process of this host that is gone, or another host's.
    static QByteArray lockContents(const QString &kind)
    {
        if (kind.contains("garbage"))
            return "\x01garbage\n";
        if (kind.contains("other host"))
            return "1\nQuillora\nelsewhere\n00000000000000000000000000000000\n\n";
        if (!kind.contains("gone process"))
            return QByteArray();
        QProcess gone;
        gone.start("true", QStringList());
        gone.waitForStarted();
        const qint64 pid = gone.processId();
        gone.waitForFinished();
        return QByteArray::number(pid) + "\nquillora-launcher\n" + QSysInfo::machineHostName().toUtf8() + '\n'
            + QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n';
    }

    // Path, size and a hash of every file below `root` outside `skip`.
    static QStringList snapshot(const QString &root, const QStringList &skip)
    {
        QStringList entries;
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (std::any_of(skip.cbegin(), skip.cend(), [&](const QString &s) { return path.startsWith(s); }))
                continue;
            const QFileInfo info(path);
            QFile file(path);
            const QByteArray hash = info.isFile() && file.open(QIODevice::ReadOnly)
                ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex()
                : QByteArray();
            entries.append(QStringLiteral("%1 %2 %3 %4")
                               .arg(path)
                               .arg(info.size())
                               .arg(int(info.permissions()))
                               .arg(QString::fromLatin1(hash)));
        }
        entries.sort();
        return entries;
    }

private Q_SLOTS:
    void staysQuietAndHarmless_data()
    {
        QTest::addColumn<QString>("file"); // relative to the test root; "" for none
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("special"); // what else is odd about the installation

        for (const char *name : {"setting.ini", "user.ini"}) {
            const QString file = QStringLiteral("config/Quillora/") + QLatin1String(name);
            QTest::addRow("garbage %s", name) << file << garbage() << "";
            QTest::addRow("binary %s", name) << file << binary() << "";
            QTest::addRow("5 MB %s", name) << file << huge() << "";
            QTest::addRow("UTF-8 BOM %s", name) << file << withBom() << "";
            QTest::addRow("NUL-filled %s", name) << file << nuls() << "";
            QTest::addRow("empty %s", name) << file << QByteArray("") << "";
            // Qt's reader takes quadratic time over section headers that never close.
            QTest::addRow("256 KB of unclosed headers %s", name) << file << QByteArray("[\n").repeated(128 << 10) << "";
        }
        // A list claiming 2^31 items: Qt runs out of memory reading it.
        for (const char *section : {"window", "version"})
            QTest::addRow("damaged list in [%s]", section)
                << "config/Quillora/setting.ini" << damagedList(section) << "kept";
        QTest::newRow("garbage legacy setting.ini") << "install/setting.ini" << garbage() << "";
        QTest::newRow("setting.ini is a folder") << "" << QByteArray() << "setting.ini folder";
        QTest::newRow("user.ini is a folder") << "" << QByteArray() << "user.ini folder";
        QTest::newRow("logs is a file") << "config/Quillora/logs" << QByteArray("not a folder") << "";
        QTest::newRow("data directory is a file") << "config/Quillora" << QByteArray("not a folder") << "";
        QTest::newRow("configuration base is a file") << "config" << QByteArray("not a folder") << "";
        QTest::newRow("lock file dated in the future") << "" << QByteArray() << "future lock";
        // Another launcher's lock (live, stuck, or not a lock at all) never
        // holds up a launch with nothing to write, and one with something to
        // write only once.
        QTest::newRow("held lock") << "" << QByteArray() << "held lock";
        QTest::newRow("held lock, code to store")
            << "config/Quillora/setting.ini" << QByteArray("[code]\nsoftware_code=\n") << "held lock";
        QTest::newRow("held application's settings lock, code to store")
            << "config/Quillora/setting.ini" << QByteArray("[code]\nsoftware_code=\n") << "held settings lock";
        QTest::newRow("lock is a folder") << "" << QByteArray() << "lock folder";
        // What a launch that died or failed leaves, or a sudo run: a lock
        // naming a process that is gone, or old enough, costs a launch
        // nothing; an unwritten one may be a lock being made, and is taken
        // only once it is 2 s old. Either way the code is written. Another
        // host's lock is held until Qt's 30 s pass. A folder of that name can
        // never be taken: no wait, no write.
        const QByteArray noCode = "[code]\nsoftware_code=\n";
        for (const char *left : {"left young empty settings lock", "left young garbage settings lock",
                                 "left young read-only settings lock", "left old empty settings lock",
                                 "left gone process settings lock", "left old other host settings lock",
                                 "left dangling settings lock", "left empty launcher lock", "left young helper lock"})
            QTest::newRow(left) << "config/Quillora/setting.ini" << noCode << left;
        QTest::newRow("held settings lock of another host")
            << "config/Quillora/setting.ini" << noCode << "held other host";
        QTest::newRow("settings lock is a folder") << "config/Quillora/setting.ini" << noCode << "settings lock folder";
        QTest::newRow("Quillora.exe is a folder") << "" << QByteArray() << "exe folder";
        QTest::newRow("Quillora.exe not executable") << "install/1.0.0/Quillora.exe" << QByteArray("#!/bin/sh\n") << "";
        QTest::newRow("Quillora.exe dangling link") << "" << QByteArray() << "exe dangling";
        const QByteArray longVersion = "[version]\ncurrent_version=" + QByteArray(10000, '9') + "\n";
        QTest::newRow("10,000-character version") << "config/Quillora/setting.ini" << longVersion << "";
        QTest::newRow("version holding ..")
            << "config/Quillora/setting.ini" << QByteArray("[version]\ncurrent_version=../../..\n") << "";
        QTest::newRow("version holding .. into a folder")
            << "config/Quillora/setting.ini" << QByteArray("[version]\ncurrent_version=1.0.0/../../config\n") << "";
    }
    void staysQuietAndHarmless()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, contents);
        QFETCH(QString, special);
        Installation installation;
        QVERIFY(installation.isValid());
        const QString userIni = installation.dataFile("user.ini");
        if (file != QLatin1String("config") && file != QLatin1String("config/Quillora")
            && !file.endsWith(QLatin1String("user.ini")))
            QVERIFY(Installation::writeFile(userIni, "[config]\nlang=en_GB\n"));
        if (!file.isEmpty()) {
            QDir(installation.root() + '/' + file).removeRecursively();
            QVERIFY(Installation::writeFile(installation.root() + '/' + file, contents));
        }
        if (special == QLatin1String("setting.ini folder"))
            QVERIFY(QDir().mkpath(installation.dataFile("setting.ini")));
        if (special == QLatin1String("user.ini folder")) {
            QFile::remove(userIni);
            QVERIFY(QDir().mkpath(userIni));
        }
        if (special == QLatin1String("future lock")) {
            const QString lock = installation.dataFile("launcher.lock");
            QVERIFY(Installation::writeFile(lock, ""));
            QFile file(lock);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
        }
        QLockFile heldLock(installation.dataFile("launcher.lock"));
        if (special == QLatin1String("held lock"))
            QVERIFY(heldLock.lock());
        QLockFile applicationsLock(installation.dataFile("setting.ini.lock"));
        if (special == QLatin1String("held settings lock"))
            QVERIFY(applicationsLock.lock());
        if (special == QLatin1String("lock folder"))
            QVERIFY(QDir().mkpath(installation.dataFile("launcher.lock")));
        if (special == QLatin1String("settings lock folder"))
            QVERIFY(QDir().mkpath(installation.dataFile("setting.ini.lock")));
        const QString leftLock
            = installation.dataFile(special.contains("launcher") ? "launcher.lock" : "setting.ini.lock");
        if (special.startsWith(QLatin1String("left")) && special != QLatin1String("left dangling settings lock")) {
            const QString lock = special.contains("helper") ? leftLock + ".rmlock" : leftLock;
            QVERIFY(Installation::writeFile(lock, lockContents(special)));
            if (special.contains("read-only"))
                QVERIFY(QFile::setPermissions(lock, QFileDevice::ReadOwner));
            QFile file(lock);
            if (special.contains("old"))
                QVERIFY(
                    file.open(QIODevice::ReadOnly)
                    && file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        }
        if (special == QLatin1String("held other host"))
            QVERIFY(Installation::writeFile(leftLock, lockContents(special)));
        if (special == QLatin1String("left dangling settings lock"))
            QVERIFY(QFile::link(installation.root() + "/nowhere", leftLock));
        if (special == QLatin1String("exe folder"))
            QVERIFY(QDir().mkpath(installation.installDir() + "/1.0.0/Quillora.exe"));
        if (special == QLatin1String("exe dangling")) {
            QVERIFY(QDir().mkpath(installation.installDir() + "/1.0.0"));
            QVERIFY(QFile::link(installation.root() + "/nowhere", installation.installDir() + "/1.0.0/Quillora.exe"));
        }
        const QByteArray userBefore = Installation::readFile(userIni);
        const bool legacy = QFileInfo::exists(installation.installDir() + "/setting.ini");
        const QStringList outsideBefore
            = snapshot(installation.root(), {installation.dataDir() + '/', installation.installDir() + "/setting.ini"});

        QElapsedTimer timer;
        timer.start();
        const Installation::Run run = installation.launch();
        const qint64 elapsed = timer.elapsed();

        QVERIFY(run.cleanExit());
        // Against a normal launch of the same files, timed now: only a live
        // holder may cost the wait of 3 s.
        Installation normal;
        if (!file.isEmpty()) {
            QDir(normal.root() + '/' + file).removeRecursively();
            QVERIFY(Installation::writeFile(normal.root() + '/' + file, contents));
        }
        timer.start();
        QVERIFY(normal.launch().cleanExit());
        const qint64 stall = elapsed - timer.elapsed();
        if (!special.contains("young"))
            QVERIFY2(stall < (special.startsWith(QLatin1String("held")) ? 4500 : 1500),
                     qPrintable(QStringLiteral("held up %1 ms").arg(stall)));
        if (special.startsWith(QLatin1String("left")))
            QVERIFY(isWellFormedCode(storedCode(installation.dataFile("setting.ini"))));
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(launchersOwn(run.err), QString());
        if (!userBefore.isNull() && QFileInfo(userIni).isFile())
            QCOMPARE(Installation::readFile(userIni), userBefore);
        QCOMPARE(
            snapshot(installation.root(), {installation.dataDir() + '/', installation.installDir() + "/setting.ini"}),
            outsideBefore);
        // No write without the locks, nor into a file Qt cannot read whole.
        if (special.startsWith(QLatin1String("held")) || special.contains("folder") || special == QLatin1String("kept"))
            QCOMPARE(Installation::readFile(installation.dataFile("setting.ini")), contents);
        if (legacy) // garbage has no versions to lose, so it is moved like any other
            QVERIFY(!QFileInfo::exists(installation.installDir() + "/setting.ini"));
        heldLock.unlock();
        QVERIFY(!isLockHeld(installation.dataFile("launcher.lock")));
    }
};

QTEST_GUILESS_MAIN(BadInputTest)
#include "tst_badinput.moc"
