// Client of the optics service's day/night state, and the run of the IR script that follows
// it. Every failure falls back to the filter-on command, so the script always runs.
#include "platform/ir_lights.h"

#include "common/handles.h"
#include "common/printable.h"
#include "platform/system_bus.h"

#include <signal.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr const char* SERVICE = "com.norv.Optics2";
constexpr const char* OBJECT = "/com/norv/Optics0";
constexpr const char* INTERFACE = "com.norv.DayNight1";

// Fixed command lines: nothing from the bus ever reaches the shell.
constexpr const char* FILTER_ON = "/usr/bin/sync_irlight_ircut.sh ir_filter_on";
constexpr const char* FILTER_OFF = "/usr/bin/sync_irlight_ircut.sh ir_filter_off";

// After SIGTERM, how long the script's processes get to end before SIGKILL.
constexpr time_t STOP_GRACE_SECONDS = 2;

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

// Runs `command` through the shell in a process group of its own, as system() would, with
// the signal dispositions and mask a fresh process has.
pid_t start_script(const char* command) {
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal : {SIGPIPE, SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        ::signal(signal, SIG_DFL);
    execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    _exit(127);
}

// Waits until `pid` has ended or `deadline` (CLOCK_MONOTONIC) has passed, with SIGCHLD
// blocked by the caller. Returns true with its wait status in `status` once it has ended.
bool reap_until(pid_t pid, const timespec& deadline, int& status) {
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            return r == pid;
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec > deadline.tv_sec ||
            (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec))
            return false;
        timespec left = {.tv_sec = deadline.tv_sec - now.tv_sec,
                         .tv_nsec = deadline.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            left.tv_sec--;
            left.tv_nsec += 1'000'000'000;
        }
        // Wakes on any child's end, or when the time is up.
        sigtimedwait(&child, nullptr, &left);
    }
}

timespec seconds_from_now(time_t seconds) {
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += seconds;
    return deadline;
}

// The script's exit-status byte, taken without asking how the shell ended; NOT_RUN when it
// could not be started, and when it did not end within the bound: then it and everything
// it started in its process group are stopped.
int run_script(const char* command) {
    sigset_t child, previous;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    sigprocmask(SIG_BLOCK, &child, &previous);

    int result = NOT_RUN;
    pid_t pid = start_script(command);
    if (pid > 0) {
        // Also here, so that the group exists before it may have to be signalled.
        setpgid(pid, pid);
        int status = 0;
        if (reap_until(pid, seconds_from_now(IR_SCRIPT_TIMEOUT_SECONDS), status)) {
            result = static_cast<int>((static_cast<unsigned>(status) >> 8) & 0xffu);
        } else {
            fprintf(stderr, "<%d> IR script still running after %d seconds, stopped\n", LOG_ERR,
                    IR_SCRIPT_TIMEOUT_SECONDS);
            kill(-pid, SIGTERM);
            if (!reap_until(pid, seconds_from_now(STOP_GRACE_SECONDS), status)) {
                kill(-pid, SIGKILL);
                waitpid(pid, &status, 0);
            }
            // Whatever the script left in its group goes too, even when the script itself
            // ended on SIGTERM.
            kill(-pid, SIGKILL);
        }
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return result;
}

} // namespace

int sync_ir_lights() { return run_script(choose_command()); }
