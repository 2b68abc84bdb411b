// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "launcher/launcher.h"
#include "userdata/datadirectory.h"
#include "userdata/platform.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// Where the data directory lies: below the user's configuration base as the
// XDG Base Directory rules give it, and nowhere when there is none.
class DataDirectoryTest : public QObject
{
    Q_OBJECT

    static void setOrUnset(const char *name, const QByteArray &value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private Q_SLOTS:
    void followsConfigurationBase_data()
    {
        QTest::addColumn<QByteArray>("xdgConfigHome"); // null: unset
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<QString>("dataDirectory");
        QTest::newRow("XDG_CONFIG_HOME") << QByteArray("/home/ann/conf") << QByteArray("/home/ann")
                                         << "/home/ann/conf/Quillora";
        QTest::newRow("XDG_CONFIG_HOME with blanks")
            << QByteArray("/home/a b/My Config") << QByteArray("/home/a b") << "/home/a b/My Config/Quillora";
        QTest::newRow("default") << QByteArray() << QByteArray("/home/ann") << "/home/ann/.config/Quillora";
        QTest::newRow("empty XDG_CONFIG_HOME")
            << QByteArray("") << QByteArray("/home/ann") << "/home/ann/.config/Quillora";
        QTest::newRow("relative XDG_CONFIG_HOME is ignored")
            << QByteArray("relative/config") << QByteArray("/home/ann") << "/home/ann/.config/Quillora";
        QTest::newRow("no HOME") << QByteArray() << QByteArray() << QString();
        QTest::newRow("empty HOME") << QByteArray() << QByteArray("") << QString();
        QTest::newRow("relative HOME") << QByteArray("rel") << QByteArray("home/ann") << QString();
        QTest::newRow("HOME that does not survive decoding") << QByteArray() << QByteArray("/home/h\xff") << QString();
        QTest::newRow("absolute XDG_CONFIG_HOME needs no HOME")
            << QByteArray("/cfg") << QByteArray("") << "/cfg/Quillora";
    }
    void followsConfigurationBase()
    {
        QFETCH(QByteArray, xdgConfigHome);
        QFETCH(QByteArray, home);
        QFETCH(QString, dataDirectory);
        const QByteArray xdgBefore = qgetenv("XDG_CONFIG_HOME");
        const QByteArray homeBefore = qgetenv("HOME");
        setOrUnset("XDG_CONFIG_HOME", xdgConfigHome);
        setOrUnset("HOME", home);

        const QString found = dataDirectoryFor(Platform::userConfigurationBase());

        qputenv("XDG_CONFIG_HOME", xdgBefore);
        qputenv("HOME", homeBefore);
        QCOMPARE(found, dataDirectory);
    }

    void noLocationTouchesNothing()
    {
        QTemporaryDir workingDirectory;
        QVERIFY(workingDirectory.isValid());
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(workingDirectory.path()));

        const QString installation = workingDirectory.path();
        const QString dataDirectory
            = prepareDataDirectory(dataDirectoryFor(QStringLiteral("relative")), installation, QDeadlineTimer(0));
        const QString version = Launcher::versionToRun(OpenedSettings(), QString(), installation, QDeadlineTimer(0));

        QDir::setCurrent(before);
        QCOMPARE(dataDirectory, QString());
        QCOMPARE(version, QStringLiteral("1.0.0"));
        QVERIFY(QDir(workingDirectory.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
};

QTEST_GUILESS_MAIN(DataDirectoryTest)
#include "tst_datadirectory.moc"
