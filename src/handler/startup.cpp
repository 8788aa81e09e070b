// SPDX-License-Identifier: MIT
// Start-up of the action handler: the listening socket comes from systemd's socket activation
// or is created here, then the wait loop runs once with the 8-second quiet period.
#include "handler/startup.h"

#include "channel/action_code.h"
#include "common/unique_fd.h"
#include "config/config.h"
#include "handler/reboot_guard.h"
#include "handler/socket_listener.h"
#include "handler/wait_loop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

constexpr uint32_t QUIET_PERIOD_SECONDS = 8;

namespace {

// Whoever started the handler may have left signals ignored or blocked. An ignored SIGCHLD
// makes the IR script's status unobtainable; a blocked one or a stop signal would reach the
// script too. SIGPIPE is ignored instead: a log write to a reader that has gone must not end
// the handler in the middle of an action.
void reset_signals() {
    for (int signal = 1; signal < NSIG; signal++)
        if (signal != SIGKILL && signal != SIGSTOP)
            ::signal(signal, SIG_DFL);
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

void report_errno(const char* what) {
    fprintf(stderr, "<%d> %s: %s\n", LOG_ERR, what, strerror(errno));
}

// Creates and binds the action socket when systemd has passed none: a stale file at the
// path is replaced, a socket that something listens on is left alone and refused, and the
// file is left to the owner alone. Returns an invalid fd on failure, which has been reported.
UniqueFd create_listening_socket() {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, ACTION_SOCKET_PATH);

    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM, 0));
    if (!fd) {
        report_errno("Unable to open socket");
        return fd;
    }
    // A socket that something listens on (systemd's socket unit, another handler) is not a
    // stale file: replacing it would leave every later client without a handler.
    int listened = socket_has_listener(ACTION_SOCKET_PATH);
    if (listened != 0) {
        if (listened > 0)
            fprintf(stderr, "<%d> Another process is listening on %s: not replacing it\n",
                    LOG_ERR, ACTION_SOCKET_PATH);
        else
            fprintf(stderr,
                    "<%d> Cannot tell whether another process is listening on %s, not "
                    "replacing it: %s\n",
                    LOG_ERR, ACTION_SOCKET_PATH, strerror(-listened));
        return UniqueFd();
    }
    // Group and others lose read and write: only root may connect to a socket of mode 0711.
    // The mask also stays for everything the handler creates or runs later.
    umask(066);
    unlink(ACTION_SOCKET_PATH);
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        report_errno("bind(listen_fd)");
        return UniqueFd();
    }
    // Backlog 0: clients that come while the handler is busy wait in their connect loop.
    if (listen(fd.get(), 0) != 0) {
        report_errno("listen(listen_fd)");
        return UniqueFd();
    }
    return fd;
}

} // namespace

int run_action_handler() {
    reset_signals();
    int passed = sd_listen_fds(0);
    if (passed > 1) {
        fprintf(stderr, "<%d> Too many file descriptors received\n", LOG_ERR);
        return 1;
    }
    UniqueFd listen_fd = passed == 1 ? UniqueFd(SD_LISTEN_FDS_START) : create_listening_socket();
    if (!listen_fd)
        return 1;
    // The IR script and anything it starts must not keep the action socket open. Should that
    // fail, the action is still carried out: the descriptor then lives on only as long as
    // whatever the script leaves running.
    if (fcntl(listen_fd.get(), F_SETFD, FD_CLOEXEC) != 0)
        fprintf(stderr, "<%d> Unable to set close-on-exec on the action socket, ignoring: %s\n",
                LOG_WARNING, strerror(errno));

    std::optional<HandlerConfig> config = load_config(CONFIG_PATH);
    if (!config) {
        fprintf(stderr, "<%d> Failed to get configuration\n", LOG_ERR);
        return 1;
    }
    report_boot_after_reboot();
    return wait_and_execute(listen_fd.get(), *config, QUIET_PERIOD_SECONDS);
}
