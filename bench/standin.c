// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
/* Stand-in for Quillora.exe in the benchmark: notes the moment it begins to
 * run (CLOCK_MONOTONIC, nanoseconds) in the file $QUILLORA_BENCH_STAMP.
 * Linked statically, so hardly anything runs before main. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char *path = getenv("QUILLORA_BENCH_STAMP");
    if (!path)
        return 0;
    char line[32];
    const int length = snprintf(line, sizeof line, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return 1;
    const int written = (int)write(fd, line, (size_t)length);
    close(fd);
    return written == length ? 0 : 1;
}
