// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The Unix half of start.h.
#include "start.h"

#include <QFile>

#include <csignal>
#include <cstring>
#include <spawn.h>

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

// The entries of `block`, as exec wants them: pointers into it, then null.
QVector<char *> entriesOf(QByteArray &block)
{
    QVector<char *> entries;
    for (int at = 0; at < block.size(); at += int(std::strlen(block.data() + at)) + 1)
        entries.append(block.data() + at);
    entries.append(nullptr);
    return entries;
}

} // namespace

Inheritance Inheritance::ofThisProcess()
{
    Inheritance given;
    for (char **entry = environ; entry && *entry; ++entry)
        given.environmentBlock.append(*entry, int(std::strlen(*entry)) + 1);
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

bool startApplication(const QString &program, const QString &workingDirectory, const Inheritance &given, QString *why)
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
    QByteArray block = given.environmentBlock;
    const QVector<char *> environment = entriesOf(block);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.constData(), &spawn.actions, &spawn.attributes, arguments,
                                  const_cast<char *const *>(environment.data()));
    if (error != 0 && why)
        *why = qt_error_string(error);
    return error == 0;
}

void survivesFileSizeLimit()
{
    ::signal(SIGXFSZ, SIG_IGN);
}
