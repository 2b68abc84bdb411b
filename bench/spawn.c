// SPDX-License-Identifier: MIT
/* The smallest possible launcher: starts the program given, if any, with
 * posix_spawn and exits without waiting. Without an argument it starts
 * nothing, which measures what running a C program costs by itself. */
#include <spawn.h>
#include <stdlib.h>

extern char **environ;

int main(int argc, char **argv)
{
    if (argc < 2)
        return 0;
    pid_t pid;
    return posix_spawn(&pid, argv[1], NULL, NULL, argv + 1, environ) == 0 ? 0 : 1;
}
