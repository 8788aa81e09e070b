// SPDX-License-Identifier: MIT
// Starts the IR script in a process group of its own and waits on a signalfd for its end,
// the end of the bound, or a stop of the handler, whichever comes first. A signalfd works on
// every kernel a camera may run; a pidfd would need Linux 5.3.
#include "platform/ir_script.h"

#include "common/monotonic.h"
#include "common/unique_fd.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// After SIGTERM, how long the script's processes get to end before SIGKILL.
constexpr int64_t STOP_GRACE_MS = 2000;

// Starts the script `path` with `argument` in a process group of its own, with the signal
// mask and the dispositions a fresh process has. Returns its pid, or -1 with errno set.
//
// The script is executed itself rather than through `sh -c`: a shell in between would only
// start it, at the cost of one more process start, about as long as the script's own. A file
// the kernel cannot execute (no "#!" line) is run by /bin/sh, as that shell would have done.
pid_t start_script(const char* path, const char* argument) {
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0)
        return -1;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&defaults, signal);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    char* const argv[] = {const_cast<char*>(path), const_cast<char*>(argument), nullptr};
    pid_t pid = -1;
    int r = posix_spawn(&pid, path, nullptr, &attributes, argv, environ);
    if (r == ENOEXEC) {
        char* const shell_argv[] = {const_cast<char*>("sh"), const_cast<char*>(path),
                                    const_cast<char*>(argument), nullptr};
        r = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, shell_argv, environ);
    }
    posix_spawnattr_destroy(&attributes);
    errno = r;
    return r == 0 ? pid : -1;
}

enum class End { exited, timed_out, stopped };

// Waits until `pid` has ended (its wait status in `status`), `deadline` has passed, or, when
// `stoppable`, a stop signal has arrived on `events`, which carries SIGCHLD and the stop
// signals. SIGCHLD only says that some child changed state, so each one is checked for.
End await_end(pid_t pid, int events, int64_t deadline, bool stoppable, int& status) {
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return End::exited;
        if (r < 0 && errno != EINTR) {
            status = IR_SCRIPT_NOT_RUN << 8;
            return End::exited;
        }
        int64_t left = deadline - monotonic_ms();
        if (left <= 0)
            return End::timed_out;
        pollfd fd = {.fd = events, .events = POLLIN, .revents = 0};
        if (poll(&fd, 1, static_cast<int>(left)) <= 0)
            continue;
        signalfd_siginfo info = {};
        if (read(events, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
            continue;
        if (info.ssi_signo != SIGCHLD && stoppable) {
            fprintf(stderr, "<%d> Stopped by signal %u (%s) while the IR script ran: ending it\n",
                    LOG_WARNING, info.ssi_signo, strsignal(static_cast<int>(info.ssi_signo)));
            return End::stopped;
        }
    }
}

// Ends the script and whatever it left in its process group: SIGTERM, and SIGKILL after the
// grace period. Everything still in the group goes even when the script itself ended.
void end_script(pid_t pid, int events) {
    kill(-pid, SIGTERM);
    int status = 0;
    if (await_end(pid, events, monotonic_ms() + STOP_GRACE_MS, false, status) != End::exited) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    kill(-pid, SIGKILL);
}

int exit_status(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    int signal = WTERMSIG(status);
    fprintf(stderr, "<%d> IR script ended by signal %d (%s)\n", LOG_ERR, signal,
            strsignal(signal));
    return 128 + signal;
}

int supervise(const char* path, const char* argument, int events) {
    pid_t pid = start_script(path, argument);
    if (pid < 0) {
        fprintf(stderr, "<%d> Unable to run the IR script %s: %s\n", LOG_ERR, path,
                strerror(errno));
        return IR_SCRIPT_NOT_RUN;
    }
    int status = 0;
    switch (await_end(pid, events, monotonic_ms() + int64_t{IR_SCRIPT_TIMEOUT_SECONDS} * 1000,
                      true, status)) {
    case End::exited:
        return exit_status(status);
    case End::timed_out:
        fprintf(stderr, "<%d> IR script still running after %d seconds, stopped\n", LOG_ERR,
                IR_SCRIPT_TIMEOUT_SECONDS);
        break;
    case End::stopped:
        break;
    }
    end_script(pid, events);
    return IR_SCRIPT_NOT_RUN;
}

} // namespace

int run_ir_script(const char* path, const char* argument) {
    // Blocked before the script starts, so that neither its end nor a stop can come unseen.
    sigset_t signals, previous;
    sigemptyset(&signals);
    for (int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, signal);
    sigprocmask(SIG_BLOCK, &signals, &previous);
    int result = IR_SCRIPT_NOT_RUN;
    UniqueFd events(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (events)
        result = supervise(path, argument, events.get());
    else
        fprintf(stderr, "<%d> Unable to watch the IR script, not running it: %s\n", LOG_ERR,
                strerror(errno));
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return result;
}
