// SPDX-License-Identifier: MIT
// Client of the optics service's day/night state, and the run of the IR script that follows
// it. Every failure falls back to the filter-on command, so the script always runs.
#include "platform/ir_lights.h"

#include "common/handles.h"
#include "common/monotonic.h"
#include "common/printable.h"
#include "platform/system_bus.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr const char* SERVICE = OPTICS_BUS_NAME;
constexpr const char* OBJECT = "/com/norv/Optics0";
constexpr const char* INTERFACE = "com.norv.DayNight1";

// Fixed command lines: nothing from the bus ever reaches the shell.
constexpr const char* FILTER_ON = "/usr/bin/sync_irlight_ircut.sh ir_filter_on";
constexpr const char* FILTER_OFF = "/usr/bin/sync_irlight_ircut.sh ir_filter_off";
// Both run the script the header names.
static_assert(std::string_view(FILTER_ON).starts_with(IR_SCRIPT_PATH) &&
              std::string_view(FILTER_OFF).starts_with(IR_SCRIPT_PATH));

// After SIGTERM, how long the script's processes get to end before SIGKILL.
constexpr int64_t STOP_GRACE_MS = 2000;

// How often the end of the script is looked for.
constexpr int64_t REAP_POLL_MS = 10;

// The status reported for a script that could not be run, or had to be stopped.
constexpr int NOT_RUN = 255;

// Chooses the command from the filter state. Every bus resource is released on return, so
// none is held while the script runs.
const char* choose_command() {
    BusPtr bus = open_system_bus();
    if (!bus)
        return FILTER_ON;

    BusError error;
    BusMessagePtr reply;
    int r = call_method(bus.get(), SERVICE, OBJECT, INTERFACE, "GetDayNight", error, reply, "");
    if (r < 0) {
        fprintf(stderr, "<%d> Failed to get DayNight filter state %s\n", LOG_ERR,
                printable(error.message()).c_str());
        return FILTER_ON;
    }

    // The string lives in the reply, so it is compared before the reply goes.
    const char* state = nullptr;
    r = sd_bus_message_read_basic(reply.get(), 's', &state);
    if (r < 0 || !state) {
        fprintf(stderr, "<%d> Failed to read DayNight filter state %s\n", LOG_ERR,
                strerror(errno));
        return FILTER_ON;
    }
    return std::strcmp(state, "night") == 0 ? FILTER_OFF : FILTER_ON;
}

// Starts `command` through the shell in a process group of its own, as system() would, with
// the signal mask and the dispositions a fresh process has. Returns its pid, or -1.
pid_t start_script(const char* command) {
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
    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                          const_cast<char*>(command), nullptr};
    pid_t pid = -1;
    int r = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    return r == 0 ? pid : -1;
}

// Waits until `pid` has ended, for at most `ms` milliseconds. Returns true with its wait
// status in `status` once it has ended. Looking every few milliseconds needs no signal
// handling, which the handler's callers may have set up in any way.
bool reap_within(pid_t pid, int64_t ms, int& status) {
    const int64_t deadline = monotonic_ms() + ms;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            return r == pid;
        int64_t left = deadline - monotonic_ms();
        if (left <= 0)
            return false;
        timespec pause = {.tv_sec = 0,
                          .tv_nsec = static_cast<long>(std::min<int64_t>(left, REAP_POLL_MS)) *
                                     1'000'000};
        nanosleep(&pause, nullptr);
    }
}

// The script's exit-status byte, taken without asking how the shell ended; NOT_RUN when it
// could not be started, and when it did not end within the bound: then it and everything
// it started in its process group are stopped.
int run_script(const char* command) {
    pid_t pid = start_script(command);
    if (pid < 0)
        return NOT_RUN;
    int status = 0;
    if (reap_within(pid, int64_t{IR_SCRIPT_TIMEOUT_SECONDS} * 1000, status))
        return static_cast<int>((static_cast<unsigned>(status) >> 8) & 0xffu);

    fprintf(stderr, "<%d> IR script still running after %d seconds, stopped\n", LOG_ERR,
            IR_SCRIPT_TIMEOUT_SECONDS);
    kill(-pid, SIGTERM);
    if (!reap_within(pid, STOP_GRACE_MS, status)) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    // Whatever the script left in its group goes too, even when the script itself ended on
    // SIGTERM.
    kill(-pid, SIGKILL);
    return NOT_RUN;
}

} // namespace

int sync_ir_lights() { return run_script(choose_command()); }
