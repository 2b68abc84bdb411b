// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// Judging a QLockFile by what its holder wrote, and clearing a leftover the
// way Qt clears a stale lock.
#include "lockfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <QThread>

namespace {

// How often a held lock is looked at again.
constexpr unsigned long HeldLockRetryMs = 20;

// Another launcher may clear and take the lock between two tries; a few
// rounds are plenty.
constexpr int MaxClears = 4;

constexpr char HelperSuffix[] = ".rmlock";

// What Qt's QLockFile writes, a line each: the process id, the program's
// name, the host name, the host id and the boot id (the last two since Qt
// 5.10). Read as Qt reads it: a file without a positive id names nobody.
struct Holder
{
    qint64 pid = 0;
    QString program;
    QString hostName;
    QByteArray hostId;
    QByteArray bootId;
};

bool readHolder(const QString &path, Holder *holder)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const auto line = [&file] {
        QByteArray text = file.readLine();
        text.chop(1);
        return text;
    };
    bool ok = false;
    holder->pid = line().toLongLong(&ok);
    holder->program = QString::fromUtf8(line());
    holder->hostName = QString::fromUtf8(line());
    holder->hostId = line();
    holder->bootId = line();
    return ok && holder->pid > 0;
}

bool isSameHost(const Holder &holder)
{
    const QByteArray ourId = QSysInfo::machineUniqueId();
    if (!holder.hostId.isEmpty() && !ourId.isEmpty())
        return holder.hostId == ourId;
    return holder.hostName.isEmpty() || holder.hostName == Locks::machineName();
}

LockEvidence::Process processOf(const Holder &holder)
{
    if (holder.pid == QCoreApplication::applicationPid())
        return LockEvidence::Process::ThisProcess;
    return Locks::isRunning(holder.pid, holder.program) ? LockEvidence::Process::Running : LockEvidence::Process::Gone;
}

// A lock that something else than a plain file stands in for: nobody
// holds it through this name.
bool isNoPlainFile(const QFileInfo &info)
{
    return info.isSymLink() || (info.exists() && !info.isFile() && !info.isDir());
}

// Takes the helper Qt removes stale locks under, clearing one left over
// itself. Its own leftovers are judged alike, but removed without a helper
// of their own.
bool takeHelper(QLockFile &helper, const QString &path)
{
    if (helper.tryLock(0))
        return true;
    if (helper.error() != QLockFile::LockFailedError)
        return false;
    const LockEvidence evidence = evidenceOf(path);
    return mayClear(evidence) && Locks::removeUnlessLocked(path, evidence.ageMs) == LockLeftover::Gone
        && helper.tryLock(0);
}

} // namespace

bool mayClear(const LockEvidence &evidence)
{
    if (!evidence.named)
        return evidence.ageMs >= UnwrittenLockMs;
    if (evidence.sameHost && (!evidence.sameBoot || evidence.process != LockEvidence::Process::Running))
        return true;
    return evidence.ageMs >= StaleLockMs;
}

LockEvidence evidenceOf(const QString &path)
{
    LockEvidence evidence;
    const QDateTime modified = QFileInfo(path).lastModified();
    evidence.ageMs = modified.isValid() ? qAbs(modified.msecsTo(QDateTime::currentDateTimeUtc())) : 0;
    Holder holder;
    evidence.named = readHolder(path, &holder);
    if (!evidence.named)
        return evidence;
    evidence.sameHost = isSameHost(holder);
    if (!evidence.sameHost)
        return evidence;
    evidence.sameBoot = holder.bootId.isEmpty() || holder.bootId == QSysInfo::bootUniqueId();
    if (evidence.sameBoot)
        evidence.process = processOf(holder);
    return evidence;
}

LockLeftover clearLeftoverLock(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return LockLeftover::Gone;
    if (info.isDir() && !info.isSymLink())
        return LockLeftover::Permanent;
    if (isNoPlainFile(info))
        return Locks::removeUnlessLocked(path, 0);
    if (!mayClear(evidenceOf(path)))
        return LockLeftover::Held;
    const QString helperPath = path + QLatin1String(HelperSuffix);
    QLockFile helper(helperPath);
    if (!takeHelper(helper, helperPath))
        return helper.error() == QLockFile::PermissionError ? LockLeftover::Permanent : LockLeftover::Held;
    // Another process may have cleared and taken it meanwhile.
    const LockEvidence again = evidenceOf(path);
    return mayClear(again) ? Locks::removeUnlessLocked(path, again.ageMs) : LockLeftover::Held;
}

bool takeLock(QLockFile &lock, const QString &path, const QDeadlineTimer &deadline)
{
    for (int clears = 0;;) {
        if (lock.tryLock(0))
            return true;
        LockLeftover leftover = LockLeftover::Held;
        if (lock.error() == QLockFile::LockFailedError)
            leftover = clearLeftoverLock(path);
        else if (!Locks::isBeingRemoved(path))
            return false; // cannot be created here at all
        if (leftover == LockLeftover::Permanent)
            return false;
        if (leftover == LockLeftover::Gone && ++clears <= MaxClears)
            continue;
        if (!waitedBeforeRetry(deadline))
            return false;
    }
}

bool waitedBeforeRetry(const QDeadlineTimer &deadline)
{
    if (deadline.hasExpired())
        return false;
    const qint64 left = deadline.remainingTime(); // -1: forever
    QThread::msleep(left < 0 ? HeldLockRetryMs : qMin<qint64>(HeldLockRetryMs, left));
    return true;
}

LockLeftover windowsOpenFailure(quint32 error, quint32 ntStatus)
{
    constexpr quint32 FileNotFound = 2;
    constexpr quint32 AccessDenied = 5;
    constexpr quint32 SharingViolation = 32;
    constexpr quint32 LockViolation = 33;
    constexpr quint32 StatusDeletePending = 0xC0000056;
    switch (error) {
    case FileNotFound:
        return LockLeftover::Gone;
    case SharingViolation:
    case LockViolation:
        return LockLeftover::Held;
    case AccessDenied:
        return ntStatus == StatusDeletePending ? LockLeftover::Held : LockLeftover::Permanent;
    default:
        return LockLeftover::Permanent;
    }
}
