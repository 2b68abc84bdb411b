// SPDX-License-Identifier: MIT
// The Unix half of platform.h.
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace {

// Frees a spawn's attributes and actions however the start ends.
struct SpawnSettings
{
    SpawnSettings()
    {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSettings()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings &) = delete;
    SpawnSettings &operator=(const SpawnSettings &) = delete;

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
};

} // namespace

namespace Platform {

QString userConfigurationBase()
{
    // Qt passes a relative XDG_CONFIG_HOME through, where the XDG Base
    // Directory rules say to ignore it, and falls back to the filesystem
    // root when HOME is empty. Neither is where this user's data lives; nor
    // is a name whose bytes do not survive decoding ("/home/h\xff" becomes
    // a sibling "/home/h\uFFFD"), so then there is none either.
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    const QByteArray base = configHome.startsWith('/') ? configHome : qgetenv("HOME");
    if (!base.startsWith('/') || QFile::encodeName(QFile::decodeName(base)) != base)
        return QString();
    if (configHome.startsWith('/'))
        return QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation).value(0);
    return QDir::cleanPath(QFile::decodeName(base)) + QStringLiteral("/.config");
}

bool isPlainVersionName(const QString &)
{
    return true;
}

bool syncToDisk(QFileDevice &file)
{
    return ::fsync(file.handle()) == 0;
}

bool syncDirectory(const QString &directory)
{
    const int descriptor = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    // Some filesystems cannot sync a directory (EINVAL); they have nothing
    // pending to wait for.
    const bool synced = ::fsync(descriptor) == 0 || errno == EINVAL;
    ::close(descriptor);
    return synced;
}

FileState fileState(const QString &path, qint64 *size)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileState::Missing : FileState::Unknown;
    if (!S_ISREG(info.st_mode))
        return FileState::Missing;
    *size = info.st_size;
    return FileState::File;
}

bool isHeldByAnotherProgram(const QString &)
{
    // Unix has no mandatory sharing modes: an unreadable file stays so.
    return false;
}

bool removeFile(const QString &path)
{
    // A file's own mode never stands in the way of its removal here.
    return QFile::remove(path);
}

Inheritance Inheritance::ofThisProcess()
{
    Inheritance given;
    sigset_t blocked;
    sigemptyset(&blocked);
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action;
        if (sigismember(&blocked, signal) == 1)
            given.blockedSignals.append(signal);
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN)
            given.ignoredSignals.append(signal);
    }
    return given;
}

bool startApplication(const QString &program, const QString &workingDirectory, const Inheritance &given,
                      QString *why)
{
    // posix_spawn is a vfork in glibc: nothing of the Qt-sized launcher is
    // copied, where QProcess forks it twice. The application still gets a
    // session of its own, as Qt's detached start gives it, and the signal
    // state the launcher was given: every signal not given as ignored goes
    // back to its default, so Qt's or the launcher's own changes stay here.
    SpawnSettings spawn;
    sigset_t mask;
    sigset_t defaults;
    sigemptyset(&mask);
    sigfillset(&defaults);
    for (const int signal : given.blockedSignals)
        sigaddset(&mask, signal);
    for (const int signal : given.ignoredSignals)
        sigdelset(&defaults, signal);
    posix_spawnattr_setsigmask(&spawn.attributes, &mask);
    posix_spawnattr_setsigdefault(&spawn.attributes, &defaults);
    posix_spawnattr_setflags(&spawn.attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    QByteArray path = QFile::encodeName(program);
    const QByteArray directory = QFile::encodeName(workingDirectory);
    // In the child, before the program runs: a folder that cannot be
    // entered fails the start instead of running it elsewhere.
    posix_spawn_file_actions_addchdir_np(&spawn.actions, directory.constData());
    char *arguments[] = {path.data(), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.constData(), &spawn.actions, &spawn.attributes, arguments, environ);
    if (error != 0 && why)
        *why = qt_error_string(error);
    return error == 0;
}

void survivesFileSizeLimit()
{
    ::signal(SIGXFSZ, SIG_IGN);
}

bool hasDebuggerChannel()
{
    // None: the launcher stays silent.
    return false;
}

void tellDebugger(const QString &)
{
}

PrivateCreation::PrivateCreation()
    : m_previous(::umask(077))
{
}

PrivateCreation::~PrivateCreation()
{
    ::umask(mode_t(m_previous));
}

} // namespace Platform
