#include "launcher/launcher.h"
#include "userdata/datadirectory.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// Where the data directory lies, for location lists Qt does not hand out on
// the platforms we ship for (an empty one above all).
class DataDirectoryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsFirstLocation_data()
    {
        QTest::addColumn<QStringList>("locations");
        QTest::addColumn<QString>("dataDirectory");
        QTest::newRow("linux") << QStringList{"/home/ann/.config/quillora-launcher", "/etc/xdg/quillora-launcher"}
                               << "/home/ann/.config/Quillora";
#ifdef Q_OS_WIN
        QTest::newRow("windows") << QStringList{"C:/Users/Ann/AppData/Local/launcher", "C:/ProgramData/launcher"}
                                 << "C:/Users/Ann/AppData/Local/Quillora";
#endif
        QTest::newRow("name with blanks") << QStringList{"/home/a b/.config/My Launcher"} << "/home/a b/.config/Quillora";
        QTest::newRow("at the root") << QStringList{"/launcher"} << "/Quillora";
        QTest::newRow("no location") << QStringList() << QString();
        QTest::newRow("no slash") << QStringList{"launcher"} << QString();
        QTest::newRow("relative") << QStringList{"relative/config/launcher", "/etc/xdg/launcher"} << QString();
    }
    void followsFirstLocation()
    {
        QFETCH(QStringList, locations);
        QFETCH(QString, dataDirectory);
        QCOMPARE(dataDirectoryFor(locations), dataDirectory);
    }

    void noLocationTouchesNothing()
    {
        QTemporaryDir workingDirectory;
        QVERIFY(workingDirectory.isValid());
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(workingDirectory.path()));

        const QString dataDirectory = prepareDataDirectory(QStringList());
        const QString version = Launcher::versionToRun(dataDirectory);

        QDir::setCurrent(before);
        QCOMPARE(dataDirectory, QString());
        QCOMPARE(version, QStringLiteral("1.0.0"));
        QVERIFY(QDir(workingDirectory.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
};

QTEST_GUILESS_MAIN(DataDirectoryTest)
#include "tst_datadirectory.moc"
