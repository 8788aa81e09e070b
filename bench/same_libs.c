// SPDX-License-Identifier: MIT
// The reference of the start-up benchmark: linked against the shared libraries vornic is
// linked against, it only prints the handler's first line and waits, so it costs what loading
// those libraries costs and no more.
#define _GNU_SOURCE
#include <poll.h>
#include <stdio.h>

int main(void) {
    printf("<6> Waiting for commands with 8 seconds timeout\n");
    fflush(stdout);
    return ppoll(NULL, 0, NULL, NULL) < 0;
}
