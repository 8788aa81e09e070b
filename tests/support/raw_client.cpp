// SPDX-License-Identifier: MIT
// Test client for the action socket that can misbehave: sends arbitrary bytes, nothing at all,
// or stalls after connecting.
//   raw_client PATH HEX        connect, write the bytes given in hex (may be empty), close
//   raw_client --stall PATH    connect, print "connected", then write nothing for a minute
#include "common/unique_fd.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char* argv[]) {
    bool stall = argc == 3 && strcmp(argv[1], "--stall") == 0;
    if (argc != 3) {
        fprintf(stderr, "usage: %s PATH HEX | --stall PATH\n", argv[0]);
        return 2;
    }
    const char* path = stall ? argv[2] : argv[1];
    std::string bytes;
    for (const char* hex = stall ? "" : argv[2]; hex[0] && hex[1]; hex += 2)
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16)));

    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM, 0));
    if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        perror("raw_client: connect");
        return 1;
    }
    if (stall) {
        printf("connected\n");
        fflush(stdout);
        sleep(60);
        return 0;
    }
    if (!bytes.empty() && write(fd.get(), bytes.data(), bytes.size()) < 0) {
        perror("raw_client: write");
        return 1;
    }
    return 0;
}
