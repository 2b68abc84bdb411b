// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "launcher/debuggerchannel.h"
#include "launcher/launcher.h"
#include "userdata/inifile.h"
#include "userdata/lockfile.h"
#include "userdata/settingsfile.h"

#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(NameRules)
Q_DECLARE_METATYPE(LockEvidence::Process)
Q_DECLARE_METATYPE(LockLeftover)

// The rules the launcher decides by, in-process and for both systems: which
// folder a version names, which version runs, and what a debugger line shows.
class RulesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionDirectory_data()
    {
        QTest::addColumn<QString>("installation");
        QTest::addColumn<QString>("version");
        QTest::addColumn<NameRules>("rules");
        QTest::addColumn<QString>("directory"); // empty: refused
        for (const NameRules rules : {NameRules::Unix, NameRules::Windows}) {
            const char *system = rules == NameRules::Unix ? "Unix" : "Windows";
            QTest::addRow("%s: plain", system) << "/inst"
                                               << "2.0.0" << rules << "/inst/2.0.0";
            QTest::addRow("%s: below a folder", system) << "/inst/"
                                                        << "stable/2.0.0" << rules << "/inst/stable/2.0.0";
            // Windows trims a ".." segment like any other all dots and blanks.
            QTest::addRow("%s: back inside", system)
                << "/inst"
                << "2.0.0/../1.0.0" << rules << (rules == NameRules::Unix ? "/inst/1.0.0" : "");
            // "setting.ini" can be written by anything running as the user:
            // a version never leads out of the installation, nor to the
            // launcher's own folder.
            for (const char *version : {"../outside/evil", "2.0.0/../../x", "..", ".", "./", "a/..", "/", "2.0.0/../..",
                                        "../install-old/2.0.0", ""})
                QTest::addRow("%s: %s leads out", system, version) << "/inst" << version << rules << QString();
            QTest::addRow("%s: a NUL ends the name", system)
                << "/inst" << QString::fromLatin1("2.0.0\0x", 7) << rules << QString();
            QTest::addRow("%s: no installation", system) << ""
                                                         << "2.0.0" << rules << QString();
            QTest::addRow("%s: relative installation", system) << "inst"
                                                               << "2.0.0" << rules << QString();
        }
        // Windows' own ways out of a folder: backslashes, a drive or stream
        // colon, segments that shrink to nothing once Windows trims their
        // trailing dots and blanks. On Unix they are plain names.
        const QStringList windowsOnly {
            "..\\outside", "2.0.0\\..\\..\\outside", "...", "2.0.0\\. .\\..", "Z:", "2.0.0:x"};
        for (const QString &version : windowsOnly) {
            QTest::addRow("Windows: %s leads out", qPrintable(version))
                << "/inst" << version << NameRules::Windows << QString();
            QTest::addRow("Unix: %s is a name", qPrintable(version))
                << "/inst" << version << NameRules::Unix << "/inst/" + version;
        }
        QTest::newRow("Unix: blanks at both ends kept") << "/inst"
                                                        << " 2.0.0 " << NameRules::Unix << "/inst/ 2.0.0 ";
    }
    void versionDirectory()
    {
        QFETCH(QString, installation);
        QFETCH(QString, version);
        QFETCH(NameRules, rules);
        QFETCH(QString, directory);
        QCOMPARE(Launcher::versionDirectoryFor(installation, version, rules), directory);
    }

    void versionToRun_data()
    {
        QTest::addColumn<QVariant>("current");
        QTest::addColumn<QVariant>("previous");
        QTest::addColumn<QString>("version"); // empty: none, nothing starts
        const QVariant none;
        const QVariant empty = QString();
        QTest::newRow("current") << QVariant("2.0.0") << QVariant("1.5.0") << "2.0.0";
        QTest::newRow("empty current: previous") << empty << QVariant("1.5.0") << "1.5.0";
        QTest::newRow("missing current: previous") << none << QVariant("1.5.0") << "1.5.0";
        QTest::newRow("both empty: the default") << empty << empty << "1.0.0";
        QTest::newRow("both missing: the default") << none << none << "1.0.0";
        // "2.0,0" reads as a list: it names no folder, and nothing else runs.
        QTest::newRow("a list: none") << QVariant(QStringList {"2.0", "0"}) << QVariant("1.5.0") << "";
        QTest::newRow("a list as previous: none") << empty << QVariant(QStringList {"1", "5"}) << "";
    }
    void versionToRun()
    {
        QFETCH(QVariant, current);
        QFETCH(QVariant, previous);
        QFETCH(QString, version);
        QCOMPARE((Versions {current, previous}.toRun()), version);
    }

    // When a settings lock may be cleared if no flock is on it: never while
    // it may be a live holder's, whatever its flock says.
    void leftoverLock_data()
    {
        using Process = LockEvidence::Process;
        QTest::addColumn<bool>("named");
        QTest::addColumn<bool>("sameHost");
        QTest::addColumn<bool>("sameBoot");
        QTest::addColumn<Process>("process");
        QTest::addColumn<qint64>("ageMs");
        QTest::addColumn<bool>("mayClear");
        QTest::newRow("process gone") << true << true << true << Process::Gone << qint64(0) << true;
        QTest::newRow("this very process") << true << true << true << Process::ThisProcess << qint64(0) << true;
        QTest::newRow("another boot") << true << true << false << Process::Running << qint64(0) << true;
        QTest::newRow("live holder, young") << true << true << true << Process::Running << qint64(29000) << false;
        QTest::newRow("live holder, stale") << true << true << true << Process::Running << qint64(31000) << true;
        QTest::newRow("another host, young") << true << false << true << Process::Gone << qint64(29000) << false;
        QTest::newRow("another host, stale") << true << false << true << Process::Gone << qint64(31000) << true;
        QTest::newRow("unwritten, being made") << false << true << true << Process::Gone << qint64(1500) << false;
        QTest::newRow("unwritten, left") << false << true << true << Process::Gone << qint64(2500) << true;
    }
    void leftoverLock()
    {
        QFETCH(bool, named);
        QFETCH(bool, sameHost);
        QFETCH(bool, sameBoot);
        QFETCH(LockEvidence::Process, process);
        QFETCH(qint64, ageMs);
        QFETCH(bool, mayClear);
        QCOMPARE(::mayClear({named, sameHost, sameBoot, process, ageMs}), mayClear);
    }

    // A lock file Windows would not open: a pending delete is Qt's holder
    // letting go, though reported as the same "access denied" as a real
    // denial, which is final.
    void windowsLockOpen_data()
    {
        QTest::addColumn<quint32>("error");
        QTest::addColumn<quint32>("ntStatus");
        QTest::addColumn<LockLeftover>("leftover");
        QTest::newRow("delete pending") << 5u << 0xC0000056u << LockLeftover::Held;
        QTest::newRow("access denied") << 5u << 0xC0000022u << LockLeftover::Permanent;
        QTest::newRow("sharing violation") << 32u << 0xC0000043u << LockLeftover::Held;
        QTest::newRow("gone") << 2u << 0xC0000034u << LockLeftover::Gone;
    }
    void windowsLockOpen()
    {
        QFETCH(quint32, error);
        QFETCH(quint32, ntStatus);
        QFETCH(LockLeftover, leftover);
        QCOMPARE(windowsOpenFailure(error, ntStatus), leftover);
    }

    // The launcher's keys added to a file a user or another program wrote:
    // each where QSettings reads it as its own line, in every place a
    // reading may take it from; "refused" (null) where no edit is safe.
    void settingsEdit_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("versions"); // else the code
        QTest::addColumn<QByteArray>("edited");
        const QByteArray code = "software_code=0123456789ABCDEF0123456789ABCDEF";
        const QByteArray versions = "current_version=2.0.0\nprevious_version=1.0.0";
        QTest::newRow("continued last line: after the header")
            << QByteArray("[code]\nother=a\\") << false << "[code]\n" + code + "\nother=a\\";
        QTest::newRow("continued last line and its newline")
            << QByteArray("[code]\nother=a\\\n") << false << "[code]\n" + code + "\nother=a\\\n";
        QTest::newRow("continued last line: new section first")
            << QByteArray("[a]\nx=1\\") << false << "[code]\n" + code + "\n[a]\nx=1\\";
        QTest::newRow("open quote: after the header")
            << QByteArray("[code]\nnote=\"open") << false << "[code]\n" + code + "\nnote=\"open";
        QTest::newRow("open quote at the top level: the top level goes on")
            << QByteArray("x=\"open") << false << "[code]\n" + code + "\n[General]\nx=\"open";
        QTest::newRow("versions before an open line")
            << QByteArray("[a]\nb=\"open\n") << true << "[version]\n" + versions + "\n[a]\nb=\"open\n";
        QTest::newRow("set at the top level and in its section: both")
            << QByteArray("[code]\nsoftware_code=\n[General]\ncode\\software_code=\n") << false
            << "[code]\n" + code + "\n[General]\ncode\\" + code + "\n";
        QTest::newRow("the line end of the line it follows")
            << QByteArray("[a]\nb=1\n[code]\r\nx=1\r\n") << false << "[a]\nb=1\n[code]\r\nx=1\r\n" + code + "\r\n";
        // Found by fuzzing: a section put first goes after the mark, with
        // the line end of the line it comes before.
        QTest::newRow("open last line, marked, CR LF") << QByteArray("\xEF\xBB\xBF[a]\r\nb=\"open") << false
                                                       << "\xEF\xBB\xBF[code]\r\n" + code + "\r\n[a]\r\nb=\"open";
        QTest::newRow("a lone CR stays one")
            << QByteArray("[a]\nx=1\r") << false << "[a]\nx=1\r\r[code]\r" + code + "\r";
        QTest::newRow("no final newline stays none")
            << QByteArray("[a]\nx=1") << false << "[a]\nx=1\n\n[code]\n" + code;
        QTest::newRow("[code] hidden by [code\\a]: refused")
            << QByteArray("[code]\nsoftware_code=\n[code\\a]\nx=1\n") << false << QByteArray();
        // Found by fuzzing: Qt reads each value of a section as it parses
        // it, and a damaged list claiming billions of items runs it out of
        // memory, as it would the application.
        QTest::newRow("a value Qt runs out of memory on: refused")
            << QByteArray("window]\nstate=@Variant(\\0\\0\\0\\x\x92"
                          "7f\\0\\0\\0\\aWindow\\0\\0\\0\\x2)\n"
                          "=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aWindow\\0\\0\\0\\x2\n"
                          "wtofsare_co =d[eUTF-8`]\rx=1\r")
            << false << QByteArray();
    }
    void settingsEdit()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, versions);
        QFETCH(QByteArray, edited);
        const SettingsValues values = versions
            ? SettingsValues {{"version/current_version", "2.0.0"}, {"version/previous_version", "1.0.0"}}
            : SettingsValues {{"code/software_code", "0123456789ABCDEF0123456789ABCDEF"}};
        QTemporaryDir directory;
        QByteArray result;
        const bool ok = editedSettingsText(directory.filePath("setting.ini"), text, values, &result);
        QCOMPARE(ok ? result : QByteArray(), edited);
    }

    // Names as Qt 5's INI code compares them on Windows: toLower(), under
    // which "\u017F" is not "s".
    void windowsNames_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("edited");
        QTest::newRow("upper case: the same key")
            << QByteArray("[CODE]\nSOFTWARE_CODE=\n") << QByteArray("[CODE]\nSOFTWARE_CODE=X\n");
        QTest::newRow("long s: another key") << QByteArray("[code]\n%U017Foftware_code=\n")
                                             << QByteArray("[code]\n%U017Foftware_code=\nsoftware_code=X\n");
    }
    void windowsNames()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, edited);
        QCOMPARE(Ini::withValuesSet(text, "[code]\nsoftware_code=X\n", Qt::CaseInsensitive), edited);
    }

    // One line per event, whatever a version holds.
    void printable_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "C:\\inst\\2.0.0"
                               << "C:\\inst\\2.0.0";
        QTest::newRow("a forged line") << "nope\nstarted C:\\inst\\2.0.0\\Quillora.exe"
                                       << "nope\\nstarted C:\\inst\\2.0.0\\Quillora.exe";
        QTest::newRow("controls") << QStringLiteral("a\rb\tc\x1b") << "a\\rb\\tc\\u001b";
        QTest::newRow("separators and format characters")
            << QStringLiteral("a\u2028b\u2029c\u202ed\u0085") << "a\\u2028b\\u2029c\\u202ed\\u0085";
        QTest::newRow("other scripts and emoji kept") << QStringLiteral("\u6f22\u5b57 caf\u00e9 \U0001F600")
                                                      << QStringLiteral("\u6f22\u5b57 caf\u00e9 \U0001F600");
        QTest::newRow("a lone surrogate") << QStringLiteral("a") + QChar(0xD800) << "a\\ud800";
        QTest::newRow("long: cut") << QString(5000, 'x') << QString(MaxToldValueLength, 'x') + "...[cut]";
        QTest::newRow("long escapes: cut")
            << QString(2000, '\n') << QString("\\n").repeated(MaxToldValueLength / 2) + "...[cut]";
    }
    void printable()
    {
        QFETCH(QString, value);
        QFETCH(QString, shown);
        QCOMPARE(::printable(value), shown);
    }
};

QTEST_GUILESS_MAIN(RulesTest)
#include "tst_rules.moc"
