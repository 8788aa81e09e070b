// SPDX-License-Identifier: MIT
// The wait loop's I/O: waits on the listening socket and the stop signals, takes in one client
// at a time and reads its 4-byte code, and reports; what each event means is in waiting.cpp.
#include "handler/wait_loop.h"

#include "channel/action_code.h"
#include "common/monotonic.h"
#include "common/unique_fd.h"
#include "handler/execute.h"
#include "handler/progress.h"
#include "handler/waiting.h"
#include "platform/system_bus.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

enum class Wait { ready, quiet, stopped, failed };

// Waits as `next` says, or until a stop signal arrives on `stop_fd`. A timeout that does not
// end the quiet period ends as Wait::ready.
Wait wait_for_event(int listen_fd, int stop_fd, const NextWait& next) {
    pollfd fds[2] = {{.fd = stop_fd, .events = POLLIN, .revents = 0},
                     {.fd = next.clients ? listen_fd : -1, .events = POLLIN, .revents = 0}};
    timespec timeout = {.tv_sec = static_cast<time_t>(next.timeout_ms / 1000),
                        .tv_nsec = static_cast<long>(next.timeout_ms % 1000) * 1'000'000};
    int ready = ppoll(fds, 2, &timeout, nullptr);
    if (ready < 0) {
        fprintf(stderr, "<%d> Select error: %s\n", LOG_ERR, strerror(errno));
        return Wait::failed;
    }
    if (fds[0].revents != 0)
        return Wait::stopped;
    if (ready == 0 && next.quiet)
        return Wait::quiet;
    return Wait::ready;
}

// Reads one client's message. Returns nothing when the read failed, which has been reported.
std::optional<ActionWire> read_client_message(const UniqueFd& client) {
    // Without its bound, one stalled client would hold up every later accessory event: such a
    // client is dropped rather than read.
    timeval bound = {.tv_sec = CLIENT_READ_TIMEOUT_SECONDS, .tv_usec = 0};
    if (setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound) != 0) {
        fprintf(stderr, "<%d> Unable to bound the read of a client, dropping it: %s\n", LOG_ERR,
                strerror(errno));
        return std::nullopt;
    }

    ActionWire wire;
    errno = 0;
    ssize_t length = read(client.get(), wire.data(), wire.size());
    if (length != static_cast<ssize_t>(wire.size())) {
        fprintf(stderr, "<%d> Read Error: %s\n", LOG_ERR, strerror(errno));
        return std::nullopt;
    }
    return wire;
}

const char* action_word(ActionCode action) {
    switch (action) {
    case ATTACH:
        return "attach";
    case DETACH:
        return "detach";
    case REATTACH:
        return "reattach";
    case NONE:
        break;
    }
    return "none";
}

// The action is carried out on a connection of its own, opened now: a connection held through
// the quiet period would collect whatever other peers send it until the first call reads it.
int act(ActionCode action, const HandlerConfig& config) {
    BusPtr bus = open_system_bus();
    if (!bus) {
        fprintf(stderr, "<%d> Unable to handle Vornic actions: DBUS connection error\n",
                LOG_ALERT);
        return 1;
    }
    return execute_action(action, config, bus.get());
}

// A stop is obeyed at once; the line says what it drops.
int stop(int stop_fd, const Waiting& waiting) {
    signalfd_siginfo info = {};
    if (read(stop_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
        info.ssi_signo = 0;
    if (stop_received(waiting) == Then::finish)
        return 0;
    fprintf(stderr, "<%d> Stopped by signal %u (%s) while %s was pending: it is not carried out\n",
            LOG_WARNING, info.ssi_signo, strsignal(static_cast<int>(info.ssi_signo)),
            action_word(waiting.pending));
    return 1;
}

// Takes in the client that is waiting, if accepting it works, and reads its code.
Then take_client(int listen_fd, Waiting& waiting) {
    UniqueFd client(accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) {
        fprintf(stderr, "<%d> Connection accept fail: %s\n", LOG_ERR, strerror(errno));
        accept_failed(waiting);
        return Then::wait;
    }
    int64_t accepted_at = monotonic_ms();
    Taken taken = client_taken(waiting, accepted_at, read_client_message(client));
    if (taken.invalid)
        fprintf(stderr, "<%d> Invalid action received: %d\n", LOG_ERR, *taken.invalid);
    return taken.then;
}

int serve_clients(int listen_fd, int stop_fd, const HandlerConfig& config, uint32_t seconds) {
    Waiting waiting = start_waiting(seconds, monotonic_ms());
    for (;;) {
        Then then = Then::wait;
        switch (wait_for_event(listen_fd, stop_fd, next_wait(waiting, monotonic_ms()))) {
        case Wait::failed:
            return 1;
        case Wait::stopped:
            return stop(stop_fd, waiting);
        case Wait::quiet:
            then = quiet_period_over(waiting);
            break;
        case Wait::ready:
            then = take_client(listen_fd, waiting);
            break;
        }
        if (then == Then::act)
            return act(waiting.pending, config);
        if (then == Then::finish)
            return 0;
    }
}

} // namespace

int wait_and_execute(int listen_fd, const HandlerConfig& config, uint32_t seconds) {
    // Only a check that the bus is there: without one no action could be carried out, and
    // that should show before any client is taken in.
    if (!open_system_bus()) {
        fprintf(stderr, "<%d> Unable to handle Vornic actions: DBUS connection error\n",
                LOG_ALERT);
        return 1;
    }

    // Stop signals are taken as events of the wait, so that a stop can say what it ends.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stop_signals, signal);
    sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
    UniqueFd stop_fd(signalfd(-1, &stop_signals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!stop_fd) {
        fprintf(stderr, "<%d> Select error: %s\n", LOG_ERR, strerror(errno));
        return 1;
    }

    errno = 0;
    progress("<%d> Waiting for commands with %u seconds timeout\n", LOG_INFO, seconds);
    return serve_clients(listen_fd, stop_fd.get(), config, seconds);
}
