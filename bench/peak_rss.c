// SPDX-License-Identifier: MIT
// Runs a command and writes its peak resident set size, as the kernel counted it (ru_maxrss
// of wait4, in KiB), to a file: peak_rss FILE COMMAND [ARG...]. Exits with the command's
// status.
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        fprintf(stderr, "usage: peak_rss FILE COMMAND [ARG...]\n");
        return 2;
    }
    pid_t pid = fork();
    if (pid < 0) {
        perror("peak_rss: fork");
        return 2;
    }
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        perror("peak_rss: exec");
        _exit(127);
    }
    int status;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0) {
        perror("peak_rss: wait4");
        return 2;
    }
    FILE* out = fopen(argv[1], "w");
    if (!out || fprintf(out, "%ld\n", usage.ru_maxrss) < 0 || fclose(out) != 0) {
        perror("peak_rss: write");
        return 2;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
