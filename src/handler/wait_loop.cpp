// Accepts one client at a time, reads its 4-byte code, merges it into the pending action,
// and acts once the clients have been quiet for a whole period.
#include "handler/wait_loop.h"

#include "channel/action_code.h"
#include "common/unique_fd.h"
#include "handler/execute.h"
#include "handler/merge.h"
#include "handler/progress.h"
#include "platform/system_bus.h"

#include <poll.h>
#include <sys/socket.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

enum class Wait { ready, quiet, failed };

Wait wait_for_client(int listen_fd, uint32_t seconds) {
    pollfd listener = {.fd = listen_fd, .events = POLLIN, .revents = 0};
    timespec timeout = {.tv_sec = static_cast<time_t>(seconds), .tv_nsec = 0};
    int ready = ppoll(&listener, 1, &timeout, nullptr);
    if (ready < 0) {
        fprintf(stderr, "<%d> Select error: %s\n", LOG_ERR, strerror(errno));
        return Wait::failed;
    }
    return ready == 0 ? Wait::quiet : Wait::ready;
}

// Accepts one client and reads its message. Returns nothing when the accept or the read
// failed, which has then been reported.
std::optional<ActionWire> read_client_message(int listen_fd) {
    UniqueFd client(accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) {
        fprintf(stderr, "<%d> Connection accept fail: %s\n", LOG_ERR, strerror(errno));
        return std::nullopt;
    }
    timeval bound = {.tv_sec = CLIENT_READ_TIMEOUT_SECONDS, .tv_usec = 0};
    setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);

    ActionWire wire;
    errno = 0;
    ssize_t length = read(client.get(), wire.data(), wire.size());
    if (length != static_cast<ssize_t>(wire.size())) {
        fprintf(stderr, "<%d> Read Error: %s\n", LOG_ERR, strerror(errno));
        return std::nullopt;
    }
    return wire;
}

int serve_clients(int listen_fd, const HandlerConfig& config, uint32_t seconds, sd_bus* bus) {
    ActionCode pending = NONE;
    for (;;) {
        switch (wait_for_client(listen_fd, seconds)) {
        case Wait::failed:
            return 1;
        case Wait::quiet:
            return pending == NONE ? 0 : execute_action(pending, config, bus);
        case Wait::ready:
            break;
        }

        std::optional<ActionWire> message = read_client_message(listen_fd);
        if (!message)
            return 1;
        Intake intake = take_message(pending, *message);
        if (!intake.valid)
            fprintf(stderr, "<%d> Invalid action received: %d\n", LOG_ERR, intake.code);
        pending = intake.pending;
        if (intake.execute_now)
            return execute_action(pending, config, bus);
    }
}

} // namespace

int wait_and_execute(int listen_fd, const HandlerConfig& config, uint32_t seconds) {
    BusPtr bus = open_system_bus();
    if (!bus) {
        fprintf(stderr, "<%d> Unable to handle Vornic actions: DBUS connection error\n",
                LOG_ALERT);
        return 1;
    }
    errno = 0;
    progress("<%d> Waiting for commands with %u seconds timeout\n", LOG_INFO, seconds);
    return serve_clients(listen_fd, config, seconds, bus.get());
}
