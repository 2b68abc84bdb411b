// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
/* The smallest possible launcher: starts the program given with one
 * posix_spawn in a new session, as the application must be started, and
 * exits without waiting. --same-session leaves the program in the caller's
 * session instead, which shows what the session itself costs. */
// POSIX_SPAWN_SETSID is a GNU extension in glibc.
#define _GNU_SOURCE
#include <spawn.h>
#include <string.h>

extern char **environ;

int main(int argc, char **argv)
{
    const int sameSession = argc > 1 && strcmp(argv[1], "--same-session") == 0;
    const int first = sameSession ? 2 : 1;
    if (argc <= first)
        return 2;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, sameSession ? 0 : POSIX_SPAWN_SETSID);
    pid_t pid;
    const int error = posix_spawn(&pid, argv[first], NULL, &attributes, argv + first, environ);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? 0 : 1;
}
