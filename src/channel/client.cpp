// SPDX-License-Identifier: MIT
// Connects to the action socket without blocking and writes one action code.
#include "channel/client.h"

#include "channel/action_code.h"
#include "common/unique_fd.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// A refused connection is retried this many times in all: a socket-activated handler may be
// between runs, and its socket unit takes the next connection.
constexpr int MAX_REFUSALS = 3;

// A full backlog is retried without limit, but paced: the pause doubles from the first to
// the last and stays there. A busy handler is often busy for seconds (a whole action), and
// clients that spun meanwhile would take the processor from the services it restarts.
constexpr long FIRST_PAUSE_NS = 1'000'000;
constexpr long LONGEST_PAUSE_NS = 50'000'000;

// Connects `fd`, which is non-blocking. Returns 0, or -1 with errno set.
int connect_with_retries(int fd, const sockaddr_un& address) {
    int refusals = 0;
    long pause_ns = FIRST_PAUSE_NS;
    for (;;) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return 0;
        switch (errno) {
        case ECONNREFUSED:
            sched_yield();
            if (++refusals < MAX_REFUSALS)
                continue;
            return -1;
        case EAGAIN: {
            // The handler's backlog is full while it serves another client or carries out an
            // action; it accepts again as soon as it is done. An interrupted pause is only a
            // shorter one.
            timespec pause = {.tv_sec = 0, .tv_nsec = pause_ns};
            nanosleep(&pause, nullptr);
            pause_ns = std::min(pause_ns * 2, LONGEST_PAUSE_NS);
            continue;
        }
        case EINPROGRESS: {
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(fd, &writable);
            timeval timeout = {.tv_sec = 1, .tv_usec = 0};
            int ready = select(fd + 1, nullptr, &writable, nullptr, &timeout);
            if (ready < 0)
                return -1;
            if (ready > 0) {
                int error = 0;
                socklen_t length = sizeof error;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    return -1;
                if (error != 0) {
                    errno = error;
                    return -1;
                }
            }
            // Still pending after the wait: the write decides.
            return 0;
        }
        default:
            return -1;
        }
    }
}

} // namespace

int submit_action(int32_t code, const char* socket_path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (strlen(socket_path) >= sizeof address.sun_path) {
        fprintf(stderr, "<%d> Unable to open socket: %s\n", LOG_ERR, strerror(ENAMETOOLONG));
        return 1;
    }
    strcpy(address.sun_path, socket_path);

    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        fprintf(stderr, "<%d> Unable to open socket: %s\n", LOG_ERR, strerror(errno));
        return 1;
    }
    if (fcntl(fd.get(), F_SETFL, O_NONBLOCK) != 0) {
        fprintf(stderr, "<%d> Unable to set NONBLOCK socket mode: %s\n", LOG_ERR,
                strerror(errno));
        return 1;
    }
    if (connect_with_retries(fd.get(), address) != 0) {
        fprintf(stderr, "<%d> Unable to connect to Action Handler: %s\n", LOG_ERR,
                strerror(errno));
        return 1;
    }

    // MSG_NOSIGNAL: a handler that already closed its end is a failed submission, not a
    // reason for the client to die by SIGPIPE.
    ActionWire wire = encode_action(code);
    errno = 0;
    ssize_t written = send(fd.get(), wire.data(), wire.size(), MSG_NOSIGNAL);
    if (written != static_cast<ssize_t>(wire.size())) {
        fprintf(stderr, "<%d> Failed to submit new action: %s\n", LOG_ERR, strerror(errno));
        return 1;
    }
    return 0;
}
