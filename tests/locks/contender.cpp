// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// One process contending for a lock, in one of the ways a lock is taken:
//   contender <way> <lock> <log> <rounds> <hold ms> <seconds>
// way: "launcher" (the launchers' own lock), "settings" (a settings lock as
// the launcher takes it) or "qlockfile" (as the application's QSettings
// takes it). Takes and releases the lock up to <rounds> times within
// <seconds>, holding it <hold ms> each time, and writes the monotonic
// nanoseconds in which it held it to <log>, one "start end" line a round:
// two lines of different processes that overlap are a lock held twice.
#include "userdata/lockfile.h"
#include "userdata/systemlock.h"

#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QThread>

#include <ctime>

namespace {

qint64 now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QByteArray held(unsigned long holdMs)
{
    const qint64 start = now();
    QThread::msleep(holdMs);
    return QByteArray::number(start) + ' ' + QByteArray::number(now()) + '\n';
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() != 7)
        return 2;
    const QString way = args.at(1);
    const QString path = args.at(2);
    const int rounds = args.at(4).toInt();
    const unsigned long holdMs = args.at(5).toULong();
    const QDeadlineTimer deadline(args.at(6).toInt() * 1000);
    QByteArray log;
    for (int round = 0; round < rounds && !deadline.hasExpired(); ++round) {
        if (way == QLatin1String("launcher")) {
            const SystemLock lock(path, deadline);
            if (lock.isLocked())
                log += held(holdMs);
        } else {
            QLockFile lock(path);
            if (way == QLatin1String("settings") ? takeLock(lock, path, deadline)
                                                 : lock.tryLock(int(qMax<qint64>(0, deadline.remainingTime()))))
                log += held(holdMs);
        }
    }
    QFile file(args.at(3));
    return file.open(QIODevice::WriteOnly) && file.write(log) == log.size() ? 0 : 1;
}
