// SPDX-License-Identifier: MIT
#include <QCoreApplication>

#include <spawn.h>

extern char **environ;

// The smallest Qt 5 Core launcher that starts the program given as the
// launcher must: the application object, then one posix_spawn in a new
// session. Measured whole, its scheduling under load is the launcher's too,
// where the floor adds up parts measured apart.
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
