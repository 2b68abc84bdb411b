// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
/* Runs a program, waits for it and prints its peak resident set size in KiB.
 * Measured from this small process rather than from the benchmark's Python:
 * a child started by posix_spawn counts its parent's memory until its exec. */
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    pid_t pid;
    if (posix_spawn(&pid, argv[1], NULL, NULL, argv + 1, environ) != 0)
        return 1;
    int status;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    printf("%ld\n", usage.ru_maxrss);
    return 0;
}
