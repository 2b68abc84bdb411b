// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include "installation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

Installation::Installation(const QString &launcherName)
    : m_launcherName(launcherName)
    , m_configHome(root() + QStringLiteral("/config"))
{
    m_valid = QDir().mkpath(installDir()) && QDir().mkpath(configHome())
        && QFile::copy(QStringLiteral(QUILLORA_LAUNCHER), launcher());
}

void Installation::addVersion(const QString &version)
{
    const QString dir = installDir() + QLatin1Char('/') + version;
    QDir().mkpath(dir);
    addStandIn(dir + QStringLiteral("/Quillora.exe"));
}

void Installation::addStandIn(const QString &path)
{
    // One printf per start, appended: whole lines even when several start.
    const QByteArray script = "#!/bin/sh\n"
                              "code=$(sed -n 's/^software_code *= *\\([^ ;]*\\).*/\\1/p' "
                              "\"$XDG_CONFIG_HOME/Quillora/setting.ini\" 2>/dev/null | tail -n 1)\n"
                              "ignored=$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status)\n"
                              "session=$(cut -d' ' -f6 /proc/$$/stat)\n"
                              "environment=$(tr '\\0\\t\\n' '|  ' < /proc/$$/environ)\n"
                              "printf '%s\\t%s\\t%s\\t%s\\t%s\\t%s\\t%s\\t%s\\n' \"$0\" \"$(pwd -P)\" \"$#\" \"$code\" "
                              "\"$(umask)\" \"$ignored\" "
                              "\"$([ \"$session\" = $$ ] && echo own || echo shared)\" \"$environment\" >> '"
        + QFile::encodeName(startLog()) + "'\n";
    writeFile(path, script);
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                              | QFileDevice::ExeOther);
}

bool Installation::writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

QByteArray Installation::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QProcessEnvironment Installation::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    env.insert(QStringLiteral("HOME"), root() + QStringLiteral("/home"));
    return env;
}

QProcess *Installation::start(const QStringList &arguments, const QStringList &wrapper) const
{
    auto *process = new QProcess;
    QProcessEnvironment env = environment();
    // LeakSanitizer cannot work under ptrace and would fail a sanitizer
    // build's launcher for that alone.
    if (wrapper.value(0) == QLatin1String("strace"))
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(root());
    QStringList command = wrapper;
    command << launcher() << arguments;
    process->start(command.takeFirst(), command);
    return process;
}

Installation::Run Installation::finish(QProcess *process, int timeoutMs)
{
    Run run;
    run.finished = process->waitForFinished(timeoutMs);
    if (!run.finished) {
        process->kill();
        process->waitForFinished();
    }
    run.exitCode = process->exitCode();
    run.exitStatus = process->exitStatus();
    run.out = process->readAllStandardOutput();
    run.err = process->readAllStandardError();
    delete process;
    return run;
}

Installation::Run Installation::launch(const QStringList &arguments, const QStringList &wrapper) const
{
    return finish(start(arguments, wrapper));
}

static QVector<QStringList> startRecords(const QString &log)
{
    QVector<QStringList> records;
    for (const QString &line :
         QString::fromLocal8Bit(Installation::readFile(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        records.append(line.split(QLatin1Char('\t')));
    return records;
}

QStringList Installation::starts() const
{
    QStringList starts;
    for (const QStringList &record : startRecords(startLog()))
        starts.append(QStringList(record.mid(0, 3)).join(QLatin1Char('\t')));
    return starts;
}

static QStringList startField(const QString &log, int field)
{
    QStringList values;
    for (const QStringList &record : startRecords(log))
        values.append(record.value(field));
    return values;
}

QString Installation::startOf(const QString &version) const
{
    const QString dir = QFileInfo(installDir() + QLatin1Char('/') + version).canonicalFilePath();
    return dir + QStringLiteral("/Quillora.exe\t") + dir + QStringLiteral("\t0");
}

QStringList Installation::seen(Seen what) const
{
    return startField(startLog(), int(what));
}

bool Installation::waitForStarts(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return starts().size() >= count; }, timeoutMs);
}

bool Installation::staysUnstarted(int graceMs) const
{
    return !QTest::qWaitFor([&] { return !starts().isEmpty(); }, graceMs);
}

QStringList Installation::unprivileged()
{
    if (::geteuid() != 0)
        return {};
    // QTemporaryDir makes its directory private to root.
    QFile::setPermissions(root(), QFile::permissions(root()) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    for (const QString &dir : {installDir(), configHome()})
        QFile::setPermissions(dir, QFile::permissions(dir) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    // The started application, run as that user too, logs its start.
    writeFile(startLog(), QByteArray());
    QFile::setPermissions(startLog(), QFile::permissions(startLog()) | QFileDevice::WriteOther);
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups")};
}

QByteArray utf16Settings()
{
    const QString text = QStringLiteral("\uFEFF[version]\r\ncurrent_version=2.0.0\r\n");
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

QString storedCode(const QString &settingsPath)
{
    // The last one counts; Windows' QSettings ends its lines with CR LF.
    const QRegularExpression line(QStringLiteral("^software_code *= *([^\\r\\n;]*?) *(;[^\\r\\n]*)?\\r?$"),
                                  QRegularExpression::MultilineOption);
    QString code;
    for (auto match = line.globalMatch(QString::fromUtf8(Installation::readFile(settingsPath))); match.hasNext();)
        code = match.next().captured(1);
    return code;
}

bool isWellFormedCode(const QString &code)
{
    static const QRegularExpression shape(QStringLiteral("^[0-9A-F]{12}4[0-9A-F]{3}[89AB][0-9A-F]{15}$"));
    return shape.match(code).hasMatch();
}

bool isLockHeld(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}
