// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
#include <QCoreApplication>

#include <spawn.h>

extern char **environ;

// The benchmark's floor: the smallest Qt 5 Core launcher that starts the
// program given as the launcher must, the application object and then one
// posix_spawn in a new session. One process measured whole meets the same
// scheduler waits under load that the launcher meets.
int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    if (argc < 2)
        return 1;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid;
    const int error = posix_spawn(&pid, argv[1], nullptr, &attributes, argv + 1, environ);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? 0 : 1;
}
