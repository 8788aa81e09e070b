// SPDX-License-Identifier: MIT
// vornic-platform-sim: the camera platform's D-Bus services (service control, optics, camera
// view) on the system bus, scripted per run, for tests and the demo.
#include "objects.h"

#include <signal.h>

#include <cstdio>
#include <cstring>

namespace {

struct EventUnref {
    void operator()(sd_event* event) const { sd_event_unref(event); }
};
using EventPtr = std::unique_ptr<sd_event, EventUnref>;

struct BusFlushCloseUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using ClosingBusPtr = std::unique_ptr<sd_bus, BusFlushCloseUnref>;

void help() {
    printf(R"(Usage: vornic-platform-sim [OPTION...]

Serves the camera platform's D-Bus services on the system bus (DBUS_SYSTEM_BUS_ADDRESS):
com.norv.PolicyKitSystem, com.norv.Optics2 and com.norv.CamViewSetup.Setup.

  --daynight TEXT               GetDayNight replies TEXT (default "day")
  --roll DEGREES                initial roll angle, seventh value of GetStatus (default 0)
  --fail METHOD[:ARG]=MESSAGE   METHOD fails with com.norv.Error.Failed and MESSAGE, for
                                every call or only when its first argument is ARG
  --delay METHOD=MILLISECONDS   METHOD replies after the delay
  --absent SERVICE              leave optics, camview or service-control off the bus
  --status-reply short          GetStatus replies six values, without the roll angle
  --status-reply mistyped       GetStatus replies "ddddssd": the first six values mistyped
  --daynight-reply mistyped     GetDayNight replies an int32 instead of a string
  --control-reply-value TEXT    service-control methods reply the string TEXT, not nothing
  --reboot machine              Reboot, once answered, has systemd reboot this machine
                                (for a test guest: never on a machine that matters)
  --log FILE                    append one line per call to FILE
  --state FILE                  keep the platform's state in FILE
  --ready-fd FD                 write "ready" to FD, then close it, once all names are owned
  -h, --help                    show this help

Options may also be written --option=VALUE. Exits 0 on SIGTERM, SIGINT or loss of the bus.
)");
}

int on_stop_signal(sd_event_source* source, const signalfd_siginfo*, void*) {
    return sd_event_exit(sd_event_source_get_event(source), 0);
}

// The bus connection closing (dbus-daemon stopped) ends the simulation like SIGTERM does.
int on_message(sd_bus_message* message, void* userdata, sd_bus_error*) {
    if (sd_bus_message_is_signal(message, "org.freedesktop.DBus.Local", "Disconnected"))
        return sd_event_exit(static_cast<sd_event*>(userdata), 0);
    return 0;
}

int signal_ready(int fd) {
    static const char ready[] = "ready\n";
    ssize_t n = write(fd, ready, sizeof ready - 1);
    close(fd);
    return n == sizeof ready - 1 ? 0 : -errno;
}

int run(Simulator& sim) {
    int r = open_log(sim);
    if (r < 0) {
        fprintf(stderr, "vornic-platform-sim: cannot open log %s: %s\n",
                sim.scenario.log_path.c_str(), strerror(-r));
        return r;
    }
    sim.roll = sim.scenario.roll;
    write_state(sim);

    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigprocmask(SIG_BLOCK, &stop_signals, nullptr);

    sd_event* raw_event = nullptr;
    r = sd_event_new(&raw_event);
    if (r < 0)
        return r;
    EventPtr event(raw_event);
    for (int signal : {SIGTERM, SIGINT}) {
        r = sd_event_add_signal(event.get(), nullptr, signal, on_stop_signal, nullptr);
        if (r < 0)
            return r;
    }

    sd_bus* raw_bus = nullptr;
    r = sd_bus_open_system(&raw_bus);
    if (r < 0) {
        fprintf(stderr, "vornic-platform-sim: cannot connect to the system bus: %s\n",
                strerror(-r));
        return r;
    }
    ClosingBusPtr bus(raw_bus);
    if ((r = sd_bus_attach_event(bus.get(), event.get(), 0)) < 0 ||
        (r = sd_bus_add_filter(bus.get(), nullptr, on_message, event.get())) < 0)
        return r;
    r = serve_platform(bus.get(), sim);
    if (r < 0)
        return r;
    if (sim.scenario.ready_fd >= 0 && (r = signal_ready(sim.scenario.ready_fd)) < 0) {
        fprintf(stderr, "vornic-platform-sim: cannot signal readiness: %s\n", strerror(-r));
        return r;
    }
    r = sd_event_loop(event.get());
    // Calls still waiting out their delay hold the bus: release them while it is open.
    sim.delayed.clear();
    return r;
}

} // namespace

int main(int argc, char* argv[]) {
    Simulator sim;
    std::string error =
        parse_scenario(std::vector<std::string>(argv + 1, argv + argc), sim.scenario);
    if (!error.empty()) {
        fprintf(stderr, "vornic-platform-sim: %s\n", error.c_str());
        return 2;
    }
    if (sim.scenario.help) {
        help();
        return 0;
    }
    return run(sim) < 0 ? 1 : 0;
}
