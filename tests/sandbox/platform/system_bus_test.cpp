// SPDX-License-Identifier: MIT
// The handler's connection to the system bus through the real binary, when the bus daemon
// stops, hangs, restarts or is flooded by anyone: steps that need no bus are carried out
// whatever it does, those that need it fail as a call does, the reboot request goes over a
// new connection when the old one died, and every wait has its bound.
#include "support/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string no_bus = "<3> Failed to connect to system bus: No such file or directory\n";
const std::string lost = "<4> Lost the connection to the system bus: connecting again to act\n";
const std::string gpio = "sysfs: write /sys/class/gpio/acc_power/value \"1\"";
const std::string bind = "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic0\"";

// The accessory without services, and with one.
const std::string without_services = R"({"vornic": {
    "sync_irlight": true, "trigger_mic_swap": true, "set_gpio": ["acc_power"],
    "bind_devices": ["/sys/bus/platform/drivers/mic/mic0"]}})";
const std::string with_service = R"({"vornic": {
    "sync_irlight": true, "trigger_mic_swap": true, "set_gpio": ["acc_power"],
    "bind_devices": ["/sys/bus/platform/drivers/mic/mic0"], "startstop_services": ["audiod"]}})";

const std::string stop_bus_while_waiting = R"sh(
    "$VORNIC" attach; sleep 0.5
    kill "$(cat /run/sandbox/dbus.pid)"
    finish)sh";

struct Row {
    const char* name;
    Sandbox sandbox;
    std::string script;  // run with the handler waiting
    int status;
    std::string err;
    std::vector<std::string> calls;
    std::vector<std::string> notes = {};  // what the script itself checked: its "note: " lines
};

const Row rows[] = {
    {"the bus daemon stopped while an attach waits: all but the bus calls is carried out",
     {.config = without_services}, stop_bus_while_waiting, 0, lost + no_bus + no_bus,
     {gpio, bind, "ir: sync_irlight_ircut.sh ir_filter_on"}},
    {"the same with a service to stop: that call fails, and so does the reboot request",
     {.config = with_service}, stop_bus_while_waiting, 1,
     lost + no_bus +
         "<3> Failed to call action: StopService(audiod): Transport endpoint is not connected\n"
         "<3> Failed to execute service audiod with action StopService: Transport endpoint is "
         "not connected\n" +
         no_bus + "<3> Failed to call action: Reboot(): Transport endpoint is not connected\n"
                  "<1> Unable to reboot the system after Vornic actions handle failed\n",
     {gpio}},
    {"the bus daemon restarted during a call: the reboot request reaches the new one",
     {.config = R"({"vornic": {"startstop_services": ["audiod"]}})",
      .platform_args = {"--delay=StartService=3000"}},
     R"sh(
        "$VORNIC" reattach
        until grep -qs Starting /run/handler.out; do sleep 0.01; done
        sleep 0.3
        # The new bus daemon and the platform are up before the old daemon goes.
        old=$(cat /run/sandbox/dbus.pid); kill -STOP $old
        rm /run/dbus/system_bus_socket
        dbus-daemon --config-file=/run/sandbox/dbus.conf --nofork --nopidfile \
            --print-address=3 3>/run/bus.address </dev/null >/dev/null 2>&1 &
        until [ -s /run/bus.address ]; do sleep 0.01; done
        "$PLATFORM_SIM" --log /run/sandbox/out/platform.log --ready-fd 3 3>/run/platform.ready \
            </dev/null >/dev/null 2>&1 &
        until [ -s /run/platform.ready ]; do sleep 0.01; done
        kill -KILL $old
        finish)sh",
     1,
     "<3> Failed to call action: StartService(audiod): Connection terminated\n"
     "<3> Failed to execute service audiod with action StartService: Connection timed out\n",
     // The old platform logs a call when it answers, which the restart cut off.
     {"bus: StopService(\"audiod\")", "bus: Reboot()"}},
    {"an unprivileged peer keeping the bus daemon's queue of connections full changes nothing",
     {.config = with_service, .stock_policy = true},
     R"sh(
        setpriv --reuid=65534 --regid=65534 --clear-groups \
            "$FLOOD" --connections $HANDLER >/run/flood.out &
        FLOODER=$!
        "$VORNIC" attach
        wait $HANDLER; status=$?; wait $FLOODER
        grep -q '^connections [1-9]' /run/flood.out && echo "note: flooded"
        cat /run/handler.err >&2
        exit $status)sh",
     0, "",
     {gpio, "bus: StopService(\"audiod\")", bind, "bus: StartService(\"audiod\")",
      "bus: GetStatus(0)", "bus: AbsoluteRoll(1, 0)", "bus: GetDayNight()",
      "ir: sync_irlight_ircut.sh ir_filter_on"},
     {"note: flooded"}},
    {"a hung bus daemon holds a call for its bound, and a stop waits for the action",
     {.config = R"({"vornic": {"never_reboot": true, "startstop_services": ["audiod"]}})"},
     R"sh(
        "$VORNIC" attach; sleep 0.5
        kill -STOP "$(cat /run/sandbox/dbus.pid)"
        until grep -qs Stopping /run/handler.out; do sleep 0.1; done
        SECONDS=0
        kill -TERM "$(pgrep -x -P $HANDLER vornic)"
        wait $HANDLER; status=$?
        [ $SECONDS -le 27 ] && echo "note: ended within the bound"
        # Gone rather than woken, so that the platform never hears of the call.
        kill -KILL "$(cat /run/sandbox/dbus.pid)"
        cat /run/handler.err >&2
        exit $status)sh",
     1,
     "<3> Failed to call action: StopService(audiod): Method call timed out\n"
     "<3> Failed to execute service audiod with action StopService: Connection timed out\n",
     {}, {"note: ended within the bound"}},
};

TEST(SystemBus, NoActionLostToABusThatStopsHangsRestartsOrIsFlooded) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SandboxOutcome result = row.sandbox.shell(start_handler + row.script);
        EXPECT_EQ(result.status, row.status);
        // Only the handler's lines: the sandbox's shell reports the bus daemon it lost.
        EXPECT_EQ(lines_starting(result.err, "<"), lines_starting(row.err, ""));
        EXPECT_EQ(platform_calls(result.log), row.calls);
        EXPECT_EQ(lines_starting(result.out, "note: "), row.notes);
    }
}

} // namespace
