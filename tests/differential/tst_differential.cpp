// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/editproperty.h"
#include "../common/installation.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QRect>
#include <QTemporaryDir>
#include <QTest>

// No file the application's own QSettings writes is ever refused: thousands
// of them, made by QSettings from a fixed seed, get the code and the
// migrated versions, and read back exactly.
class DifferentialTest : public QObject
{
    Q_OBJECT

    // Everything INI escapes or treats apart, and text beyond Latin-1.
    static QString awkward(QRandomGenerator &random, int length)
    {
        static const QString pieces = QStringLiteral(" =;\"\\/[]%,#@\t\r\n\u00e9\u6f22\u017f\U0001F600aZ09_");
        QString text;
        for (int i = 0; i < length; ++i)
            text += pieces.at(random.bounded(pieces.size()));
        return text;
    }

    static QVariant value(QRandomGenerator &random)
    {
        switch (random.bounded(8)) {
        case 0:
            return awkward(random, random.bounded(12));
        case 1:
            return QStringList {awkward(random, 3), awkward(random, 0), awkward(random, 5)};
        case 2:
            return QByteArray("a\0b\xff", 4);
        case 3:
            return QDateTime(QDate(2026, 12, 9), QTime(6, 51, 32), Qt::UTC);
        case 4:
            return QRect(random.bounded(100), -3, 40, 2);
        case 5:
            return random.bounded(-1000, 1000);
        case 6:
            return QString();
        default:
            return QVariantList {1, QStringLiteral("two"), 3.5};
        }
    }

    // A settings file as QSettings writes it, then as a user's other tools
    // may pass it on: CR LF, a UTF-8 mark, an application-only value, its
    // [code] section missing, empty or doubled.
    static QByteArray generated(QRandomGenerator &random, const QString &path)
    {
        {
            QSettings settings(path, QSettings::IniFormat);
            if (random.bounded(2))
                settings.setIniCodec("UTF-8");
            for (int keys = random.bounded(1, 12); keys > 0; --keys) {
                QStringList groups;
                for (int depth = random.bounded(5); depth > 0; --depth)
                    groups << awkward(random, random.bounded(1, 6));
                groups << awkward(random, random.bounded(1, 8));
                settings.setValue(groups.join(QLatin1Char('/')), value(random));
            }
            if (random.bounded(3) == 0)
                settings.setValue(QStringLiteral("code/software_code"), QString());
            if (random.bounded(3) == 0)
                settings.setValue(QStringLiteral("top level"), value(random));
        }
        QByteArray text = Installation::readFile(path);
        QFile::remove(path);
        if (random.bounded(4) == 0)
            text += "\n[code]\nother=1\n";
        if (random.bounded(4) == 0)
            text = "[window]\nstate=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aWindow\\0\\0\\0\\x1)\n" + text;
        if (random.bounded(3) == 0)
            text.replace("\n", "\r\n");
        if (random.bounded(3) == 0)
            text.prepend("\xEF\xBB\xBF");
        return text;
    }

private Q_SLOTS:
    void everyFileQSettingsWroteIsEdited()
    {
        // Qt says so for every application-only value it reads.
        QLoggingCategory::setFilterRules(QStringLiteral("default.warning=false"));
        QTemporaryDir directory;
        EditProperty property(directory.path());
        QRandomGenerator random(20261209);
        const SettingsValues code {{"code/software_code", "0123456789ABCDEF0123456789ABCDEF"}};
        const SettingsValues versions {{"version/current_version", "2.0.0"}, {"version/previous_version", "1.0.0"}};
        for (int file = 0; file < 2000; ++file) {
            const QByteArray text = generated(random, directory.filePath("generated.ini"));
            for (const SettingsValues &values : {code, versions}) {
                QByteArray edited;
                QVERIFY2(editedSettingsText(directory.filePath("setting.ini"), text, values, &edited),
                         qPrintable(QStringLiteral("file %1 refused: %2").arg(file).arg(QString::fromUtf8(text))));
                const QString violation = property.violation(text, edited, values);
                QVERIFY2(violation.isEmpty(), qPrintable(QStringLiteral("file %1: %2").arg(file).arg(violation)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(DifferentialTest)
#include "tst_differential.moc"
