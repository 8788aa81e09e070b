// Accepts one client at a time, reads its 4-byte code, merges it into the pending action,
// and acts once the clients have been quiet for a whole period.
#include "handler/wait_loop.h"

#include "channel/action_code.h"
#include "common/monotonic.h"
#include "common/unique_fd.h"
#include "handler/execute.h"
#include "handler/merge.h"
#include "handler/progress.h"
#include "platform/system_bus.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace {

// After a failed accept the connection is still waiting, so the socket stays readable: wait
// this long before the next try, doubling up to the longest, instead of spinning while the
// cause (descriptors or memory exhausted) lasts.
constexpr int FIRST_ACCEPT_BACKOFF_MS = 50;
constexpr int LONGEST_ACCEPT_BACKOFF_MS = 1000;

enum class Wait { ready, quiet, stopped, failed };

// Waits until a client connects (unless `listen` is false), a stop signal arrives on
// `stop_fd`, or the monotonic time `quiet_at` (ms) comes, and at most `at_most_ms` if that is
// not negative; the latter ends as Wait::ready.
Wait wait_for_event(int listen_fd, bool listen, int stop_fd, int64_t quiet_at, int at_most_ms) {
    pollfd fds[2] = {{.fd = stop_fd, .events = POLLIN, .revents = 0},
                     {.fd = listen ? listen_fd : -1, .events = POLLIN, .revents = 0}};
    int64_t left = std::max<int64_t>(quiet_at - monotonic_ms(), 0);
    bool capped = at_most_ms >= 0 && at_most_ms < left;
    int64_t wait_ms = capped ? at_most_ms : left;
    timespec timeout = {.tv_sec = static_cast<time_t>(wait_ms / 1000),
                        .tv_nsec = static_cast<long>(wait_ms % 1000) * 1'000'000};
    int ready = ppoll(fds, 2, &timeout, nullptr);
    if (ready < 0) {
        fprintf(stderr, "<%d> Select error: %s\n", LOG_ERR, strerror(errno));
        return Wait::failed;
    }
    if (fds[0].revents != 0)
        return Wait::stopped;
    if (ready == 0 && !capped)
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

// A stop (systemctl stop, a restart, shutdown) is obeyed at once. The pending action is not
// started then: it could outlast the stop timeout and be killed half done, and at shutdown
// the platform is going down around it, so that a refused start would turn into a reboot
// request. The line says what was lost.
int stop(int stop_fd, ActionCode pending) {
    signalfd_siginfo info = {};
    if (read(stop_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
        info.ssi_signo = 0;
    if (pending == NONE)
        return 0;
    fprintf(stderr, "<%d> Stopped by signal %u (%s) while %s was pending: it is not carried out\n",
            LOG_WARNING, info.ssi_signo, strsignal(static_cast<int>(info.ssi_signo)),
            action_word(pending));
    return 1;
}

int serve_clients(int listen_fd, int stop_fd, const HandlerConfig& config, uint32_t seconds) {
    ActionCode pending = NONE;
    int64_t quiet_at = monotonic_ms() + int64_t{seconds} * 1000;
    int backoff_ms = 0;
    for (;;) {
        switch (wait_for_event(listen_fd, backoff_ms == 0, stop_fd, quiet_at,
                               backoff_ms > 0 ? backoff_ms : -1)) {
        case Wait::failed:
            return 1;
        case Wait::stopped:
            return stop(stop_fd, pending);
        case Wait::quiet:
            return pending == NONE ? 0 : act(pending, config);
        case Wait::ready:
            break;
        }

        UniqueFd client(accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) {
            fprintf(stderr, "<%d> Connection accept fail: %s\n", LOG_ERR, strerror(errno));
            backoff_ms = std::clamp(backoff_ms * 2, FIRST_ACCEPT_BACKOFF_MS,
                                    LONGEST_ACCEPT_BACKOFF_MS);
            continue;
        }
        backoff_ms = 0;
        quiet_at = monotonic_ms() + int64_t{seconds} * 1000;

        // A client that fails to deliver its code costs only its own message: the action
        // others asked for still stands.
        std::optional<ActionWire> message = read_client_message(client);
        if (!message)
            continue;
        Intake intake = take_message(pending, *message);
        if (!intake.valid)
            fprintf(stderr, "<%d> Invalid action received: %d\n", LOG_ERR, intake.code);
        pending = intake.pending;
        if (intake.execute_now)
            return act(pending, config);
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
