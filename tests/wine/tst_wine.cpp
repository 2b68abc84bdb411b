#include "../common/installation.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

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
        command << "/usr/bin/wine" << arguments;
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
        QString record;
    };

    // A fresh installation and an empty data directory for one row.
    Setup freshInstallation(const QStringList &versions)
    {
        Setup setup;
        const QString dir = m_root.path() + QStringLiteral("/row%1").arg(++m_row);
        setup.install = dir + "/install";
        setup.record = dir + "/out/starts.log";
        QDir().mkpath(setup.install);
        QDir().mkpath(dir + "/out");
        giveToUser(dir);
        giveToUser(setup.install);
        giveToUser(dir + "/out");
        QFile::copy(QStringLiteral(QUILLORA_WINDOWS_LAUNCHER), setup.install + "/quillora-launcher.exe");
        for (const QString &version : versions)
            addStandIn(setup.install + '/' + version);
        QDir(m_dataDir).removeRecursively();
        return setup;
    }

    void addStandIn(const QString &dir) const
    {
        QDir().mkpath(dir);
        giveToUser(dir);
        QFile::copy(QStringLiteral(QUILLORA_WINDOWS_STANDIN), dir + "/Quillora.exe");
    }

    bool launch(const Setup &setup, const QStringList &arguments = {}) const
    {
        QProcessEnvironment env = environment();
        QStringList command = m_asUser;
        command << "env" << "QUILLORA_TEST_RECORD=" + windowsPath(setup.record) << "/usr/bin/wine"
                << setup.install + "/quillora-launcher.exe" << arguments;
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(command.takeFirst(), command);
        const bool finished = process.waitForFinished(60000);
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
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
        QVERIFY(m_root.isValid());
        if (::geteuid() == 0) {
            m_asUser = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
            QVERIFY(QFile::setPermissions(m_root.path(), QFile::permissions(m_root.path()) | QFileDevice::ExeOther
                                                             | QFileDevice::ReadOther));
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
        command << "/usr/bin/wineserver" << "-k";
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
        QTest::newRow("non-ASCII version folder") << QByteArray("[version]\ncurrent_version=2.0-\\xe9t\\xe9\n")
                                                  << QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9");
    }
    void startsChosenVersion()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, started);
        const Setup setup = freshInstallation({"1.0.0", "1.5.0", "2.0.0", QString::fromUtf8("2.0-\xc3\xa9t\xc3\xa9")});
        if (!settings.isNull())
            QVERIFY(writeData("setting.ini", settings));

        QVERIFY(launch(setup, {"--some", "argument"}));

        if (started.isEmpty()) {
            QVERIFY(!QTest::qWaitFor([&] { return !starts(setup).isEmpty(); }, 2000));
        } else {
            QVERIFY(waitForStart(setup));
            QCOMPARE(starts(setup), QStringList{startOf(setup, started)});
        }
    }

    void preparesDataDirectory()
    {
        const Setup setup = freshInstallation({"1.0.0"});
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
    void migratesReadOnlyLegacyFile()
    {
        const Setup setup = freshInstallation({"1.0.0", "2.0.0"});
        const QString legacy = setup.install + "/setting.ini";
        QVERIFY(Installation::writeFile(legacy, "[version]\ncurrent_version=2.0.0\nprevious_version=1.0.0\n"
                                                "[code]\nsoftware_code=LEGACYCODE\n"));
        giveToUser(legacy);
        QVERIFY(QFile::setPermissions(legacy, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));

        QVERIFY(launch(setup));

        QVERIFY(!QFileInfo::exists(legacy));
        const QSettings settings(m_dataDir + "/setting.ini", QSettings::IniFormat);
        QCOMPARE(settings.value("version/current_version").toString(), QStringLiteral("2.0.0"));
        QCOMPARE(settings.value("version/previous_version").toString(), QStringLiteral("1.0.0"));
        QVERIFY(isWellFormedCode(storedCode(m_dataDir + "/setting.ini")));
        QVERIFY(waitForStart(setup));
        QCOMPARE(starts(setup), QStringList{startOf(setup, "2.0.0")});
    }

    void storesOneCodeAndKeepsIt()
    {
        const Setup setup = freshInstallation({"1.0.0"});
        QVERIFY(writeData("setting.ini", "[code]\nsoftware_code=\n"));
        QVERIFY(launch(setup));
        const QByteArray first = Installation::readFile(m_dataDir + "/setting.ini");
        QVERIFY(isWellFormedCode(storedCode(m_dataDir + "/setting.ini")));

        QVERIFY(launch(setup));

        QCOMPARE(Installation::readFile(m_dataDir + "/setting.ini"), first);
        QVERIFY(!QFileInfo::exists(m_dataDir + "/launcher.lock"));
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
        QCOMPARE(starts(setup), QStringList{startOf(setup, "1.0.0")});
    }
};

QTEST_GUILESS_MAIN(WineTest)
#include "tst_wine.moc"
