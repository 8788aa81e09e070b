// SPDX-License-Identifier: MIT
// The wait loop's I/O: waits on the listening socket and the stop signals, takes in one client
// at a time and reads its 4-byte code, keeps the bus connection drained, and reports; what
// each event means is in waiting.cpp.
#include "handler/wait_loop.h"

#include "channel/action_code.h"
#include "common/monotonic.h"
#include "common/unique_fd.h"
#include "handler/execute.h"
#include "handler/interrupted.h"
#include "handler/progress.h"
#include "handler/status.h"
#include "handler/waiting.h"
#include "platform/system_bus.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>

namespace {

// The wait's descriptors: the stop signals, the listening socket, the bus connection.
enum Watched { STOP, LISTEN, BUS };

// Waits until one of the descriptors is ready or `timeout_ms` has passed. The listening
// socket is left out while no client is to be taken in, the bus while there is none. Returns
// false when the wait failed, which has been reported.
bool wait_for_events(pollfd (&fds)[3], int64_t timeout_ms) {
    timespec timeout = {.tv_sec = static_cast<time_t>(timeout_ms / 1000),
                        .tv_nsec = static_cast<long>(timeout_ms % 1000) * 1'000'000};
    if (ppoll(fds, 3, &timeout, nullptr) < 0) {
        fprintf(stderr, "<%d> Select error: %s\n", LOG_ERR, strerror(errno));
        return false;
    }
    return true;
}

// Reads one client's code. Returns nothing when the read failed, which has been reported.
std::optional<int32_t> read_client_code(const UniqueFd& client) {
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
    int32_t code = decode_action(wire);
    if (!is_valid_action(code))
        fprintf(stderr, "<%d> Invalid action received: %d\n", LOG_ERR, code);
    return code;
}

// A stop is obeyed at once; the line says what becomes of the pending action.
int stop(int stop_fd, const Waiting& waiting) {
    signalfd_siginfo info = {};
    if (read(stop_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
        info.ssi_signo = 0;
    Then then = stop_received(waiting);
    if (then == Then::finish)
        return 0;
    bool kept = then == Then::hand_over;
    fprintf(stderr, "<%d> Stopped by signal %u (%s) while %s was pending: %s\n",
            kept ? LOG_NOTICE : LOG_WARNING, info.ssi_signo,
            strsignal(static_cast<int>(info.ssi_signo)), action_word(waiting.pending),
            kept ? "the next run carries it out" : "it is not carried out");
    return kept ? 0 : 1;
}

// Says what is pending and when, on the wall clock, it will be carried out if no other
// code comes.
void show_pending(const Waiting& waiting, int64_t now) {
    time_t at = time(nullptr) + static_cast<time_t>((waiting.quiet_at - now + 999) / 1000);
    tm local = {};
    char clock[16] = "?";
    if (localtime_r(&at, &local))
        strftime(clock, sizeof clock, "%H:%M:%S", &local);
    show_status("%s pending, to be carried out at %s unless another code comes",
                describe_pending(waiting).c_str(), clock);
}

// Takes in the client that is waiting, if accepting it works, and reads its code.
Then take_client(int listen_fd, Waiting& waiting) {
    UniqueFd client(accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) {
        fprintf(stderr, "<%d> Connection accept fail: %s\n", LOG_ERR, strerror(errno));
        accept_failed(waiting, monotonic_ms());
        return Then::wait;
    }
    int64_t accepted_at = monotonic_ms();
    ActionCode before = waiting.pending;
    Then then = client_taken(waiting, accepted_at, read_client_code(client));
    // Kept at once, so that a run stopped or killed before it acts leaves it to the next one;
    // an action carried out at once is kept as begun when acting.
    if (waiting.pending != before && then != Then::act)
        waiting.kept = keep_interrupted(waiting.pending, waiting.begun);
    if (waiting.pending != NONE && then == Then::wait)
        show_pending(waiting, accepted_at);
    return then;
}

// The one line that says which action is carried out, and what it was merged from. Until it
// has been carried out, whatever the outcome, a run killed in the middle leaves it to the
// next one.
int act(const Waiting& waiting, const HandlerConfig& config, BusPtr& bus) {
    std::string action = describe_pending(waiting);
    progress("<%d> Carrying out %s\n", LOG_INFO, action.c_str());
    show_status("Carrying out %s", action.c_str());
    keep_interrupted(waiting.pending, true);
    int status = execute_action(waiting.pending, waiting.begun, config, bus);
    forget_interrupted();
    return status;
}

// Reads and drops what other peers send to the connection while the handler waits, so that
// nothing piles up before the action needs it. A connection that died is let go; acting
// opens a new one.
void drain(BusPtr& bus) {
    if (drain_system_bus(bus.get()))
        return;
    fprintf(stderr, "<%d> Lost the connection to the system bus: connecting again to act\n",
            LOG_WARNING);
    bus.reset();
}

int serve_clients(int listen_fd, int stop_fd, BusPtr& bus, const HandlerConfig& config,
                  Waiting& waiting) {
    for (;;) {
        int64_t now = monotonic_ms();
        switch (time_passed(waiting, now)) {
        case Then::act:
            return act(waiting, config, bus);
        case Then::finish:
            return 0;
        case Then::wait:
        case Then::drop:
        case Then::hand_over:
            break;
        }

        pollfd fds[3] = {
            {.fd = stop_fd, .events = POLLIN, .revents = 0},
            {.fd = taking_clients(waiting, now) ? listen_fd : -1, .events = POLLIN, .revents = 0},
            {.fd = bus ? sd_bus_get_fd(bus.get()) : -1,
             .events = static_cast<short>(bus ? sd_bus_get_events(bus.get()) : 0), .revents = 0}};
        if (!wait_for_events(fds, next_timeout(waiting, now)))
            return 1;
        if (fds[STOP].revents != 0)
            return stop(stop_fd, waiting);
        if (fds[BUS].revents != 0)
            drain(bus);
        if (fds[LISTEN].revents != 0 && take_client(listen_fd, waiting) == Then::act)
            return act(waiting, config, bus);
    }
}

} // namespace

int wait_and_execute(int listen_fd, const HandlerConfig& config, uint32_t seconds) {
    // The connection every step of the action will use, opened now: one opened when acting
    // could be refused by a busy bus daemon, and anyone may keep it busy. Without one, no
    // action could be carried out, and that should show before any client is taken in.
    BusPtr bus = open_system_bus();
    if (!bus) {
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
    show_status("Waiting for commands");
    Waiting waiting = start_waiting(seconds, monotonic_ms());
    if (std::optional<Interrupted> left = find_interrupted()) {
        fprintf(stderr, "<%d> Carrying on with the %s that an earlier run left %s\n", LOG_NOTICE,
                action_word(left->action), left->begun ? "half done" : "pending");
        carry_on(waiting, left->action, left->begun);
        waiting.kept = true;
    }
    return serve_clients(listen_fd, stop_fd.get(), bus, config, waiting);
}
