// SPDX-License-Identifier: MIT
// Test peer for the action socket: listens on PATH, prints "listening", accepts one
// connection, prints the bytes received up to end of stream as hex, and exits.
#include "common/unique_fd.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s PATH\n", argv[0]);
        return 2;
    }
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
    unlink(argv[1]);
    UniqueFd listener(socket(AF_UNIX, SOCK_STREAM, 0));
    if (bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.get(), 1) != 0) {
        perror("accept_once");
        return 1;
    }
    printf("listening\n");
    fflush(stdout);

    UniqueFd connection(accept(listener.get(), nullptr, nullptr));
    unsigned char buffer[64];
    ssize_t n;
    while ((n = read(connection.get(), buffer, sizeof buffer)) > 0)
        for (ssize_t i = 0; i < n; i++)
            printf("%02x", buffer[i]);
    printf("\n");
    return n == 0 ? 0 : 1;
}
