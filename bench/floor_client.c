// SPDX-License-Identifier: MIT
// The floor of the client benchmark: the system calls `vornic attach` makes to deliver its
// code (socket, non-blocking mode, connect, send) and nothing else, linked against libc alone.
#include <fcntl.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(void) {
    struct sockaddr_un address = {.sun_family = AF_UNIX, .sun_path = "/run/vornic.socket"};
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || fcntl(fd, F_SETFL, O_NONBLOCK) != 0 ||
        connect(fd, (struct sockaddr*)&address, sizeof address) != 0)
        return 1;
    int32_t attach = 0;
    int sent = send(fd, &attach, sizeof attach, MSG_NOSIGNAL) == sizeof attach;
    close(fd);
    return sent ? 0 : 1;
}
