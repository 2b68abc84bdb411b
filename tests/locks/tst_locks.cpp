// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "../common/installation.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

// One process of a row, and how it takes the lock (see contender.cpp).
struct Contender
{
    QString way;
    QStringList wrapper; // e.g. strace delaying some of its calls
    int rounds;
    int holdMs;
};
Q_DECLARE_METATYPE(Contender)

// A lock is held by one process at a time, however its holders are
// scheduled: processes contending for it in each way it is taken, and a
// holder slowed down in the moments it has no flock on it (strace delays
// its calls).
class LocksTest : public QObject
{
    Q_OBJECT

    // The "start end" lines of every log, in order of start.
    static QVector<QPair<qint64, qint64>> intervals(const QStringList &logs)
    {
        QVector<QPair<qint64, qint64>> all;
        for (const QString &log : logs) {
            for (const QByteArray &line : Installation::readFile(log).split('\n')) {
                const QList<QByteArray> fields = line.split(' ');
                if (fields.size() == 2)
                    all.append({fields.at(0).toLongLong(), fields.at(1).toLongLong()});
            }
        }
        std::sort(all.begin(), all.end());
        return all;
    }

private Q_SLOTS:
    void heldOnceAtATime_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<QVector<Contender>>("contenders");
        QTest::addColumn<int>("expectedRounds"); // -1: as many as fit
        const QStringList slowUnlink {
            "strace", "-f", "-qq", "-o", "/dev/null", "-e", "inject=unlink:delay_enter=600000"};
        const QStringList slowFlock {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "inject=flock:delay_enter=400000"};
        QTest::newRow("launchers' lock, three launchers") << "launcher.lock"
                                                          << QVector<Contender> {{"launcher", {}, 100000, 1},
                                                                                 {"launcher", {}, 100000, 1},
                                                                                 {"launcher", {}, 100000, 1}}
                                                          << -1;
        QTest::newRow("settings lock, two launchers and the application")
            << "setting.ini.lock"
            << QVector<Contender> {{"settings", {}, 100000, 1},
                                   {"settings", {}, 100000, 1},
                                   {"qlockfile", {}, 100000, 1}}
            << -1;
        // The application lets go: its flock goes first, its file 600 ms
        // later. Then it is being made: its file is there 400 ms before its
        // flock. A launcher that took the lock in between would still hold
        // it when the application's unlink, or its flock, lands.
        QTest::newRow("the application's unlink delayed") << "setting.ini.lock"
                                                          << QVector<Contender> {{"qlockfile", slowUnlink, 1, 300},
                                                                                 {"settings", {}, 1, 2000},
                                                                                 {"qlockfile", {}, 1, 1}}
                                                          << 3;
        QTest::newRow("the application's flock delayed")
            << "setting.ini.lock"
            << QVector<Contender> {{"qlockfile", slowFlock, 1, 300}, {"settings", {}, 1, 1000}, {"qlockfile", {}, 1, 1}}
            << 3;
    }
    void heldOnceAtATime()
    {
        QFETCH(QString, lock);
        QFETCH(QVector<Contender>, contenders);
        QFETCH(int, expectedRounds);
        if (!contenders.first().wrapper.isEmpty())
            QUILLORA_NEEDS("strace");
        QTemporaryDir directory;
        const QString lockPath = directory.filePath(lock);
        QStringList logs;
        QList<QProcess *> processes;
        for (const Contender &contender : contenders) {
            logs.append(directory.filePath(QStringLiteral("log%1").arg(logs.size())));
            auto *process = new QProcess(this);
            // LeakSanitizer cannot work under ptrace (a sanitizer build).
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            if (!contender.wrapper.isEmpty())
                env.insert(QStringLiteral("ASAN_OPTIONS"),
                           env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
            process->setProcessEnvironment(env);
            const QStringList arguments {contender.way,
                                         lockPath,
                                         logs.last(),
                                         QString::number(contender.rounds),
                                         QString::number(contender.holdMs),
                                         contender.rounds > 1 ? "3" : "8"};
            process->start(contender.wrapper.isEmpty() ? QStringLiteral(QUILLORA_CONTENDER) : contender.wrapper.first(),
                           contender.wrapper.mid(1)
                               + (contender.wrapper.isEmpty() ? QStringList() : QStringList {QUILLORA_CONTENDER})
                               + arguments);
            processes.append(process);
            // The slowed holder goes first, and the others come while it
            // holds the lock, or makes it.
            if (!contender.wrapper.isEmpty()) {
                QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(lockPath), 5000);
            }
        }
        for (QProcess *process : processes) {
            QVERIFY(process->waitForFinished(20000));
            QCOMPARE(process->exitCode(), 0);
        }
        const auto held = intervals(logs);
        if (expectedRounds >= 0)
            QCOMPARE(held.size(), expectedRounds);
        else
            QVERIFY2(held.size() > 100, qPrintable(QString::number(held.size())));
        for (int i = 1; i < held.size(); ++i)
            QVERIFY2(held.at(i).first >= held.at(i - 1).second,
                     qPrintable(QStringLiteral("held twice: round %1 of %2").arg(i).arg(held.size())));
    }
};

QTEST_GUILESS_MAIN(LocksTest)
#include "tst_locks.moc"
