// Faults of the platform during a whole re-attach through the real handler: each ends with
// the status, the messages and the reboot request (or none) that the failing step calls for,
// never in a hang or a crash. A first reattach is carried out at once, so no run waits out
// the quiet period.
#include "stress/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

namespace {

const std::string mic = "/sys/bus/platform/drivers/mic/";

const std::string config = R"({"vornic": {
    "sync_irlight": true, "trigger_mic_swap": true,
    "set_gpio": ["acc_power", "acc_reset"],
    "bind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
    "unbind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
    "startstop_services": ["audiod", "streamd", "recordd"],
    "reload_services": ["eventd", "logd", "netd"]}})";

// The accessory is attached at the start: both microphones bound.
SandboxOutcome reattach(Sandbox sandbox) {
    sandbox.config = config;
    sandbox.sysfs_args.push_back("--all-bound");
    return sandbox.shell(start_handler + R"sh(
        "$VORNIC" reattach || echo "client failed"
        finish)sh");
}

std::string gpio(const char* name) {
    return std::string("sysfs: write /sys/class/gpio/") + name + "/value \"1\"";
}
std::string driver(const char* attribute, const char* device) {
    return "sysfs: write " + mic + attribute + " \"" + device + "\"";
}
std::string bus(const std::string& method, const std::string& service) {
    return "bus: " + method + "(\"" + service + "\")";
}

// What a re-attach that goes through asks of the platform, in order.
const std::vector<std::string> reattach_calls = {
    gpio("acc_power"), gpio("acc_reset"),
    bus("StopService", "recordd"), bus("StopService", "streamd"), bus("StopService", "audiod"),
    driver("unbind", "mic0"), driver("unbind", "mic1"),
    driver("bind", "mic0"), driver("bind", "mic1"),
    bus("ReloadService", "eventd"), bus("ReloadService", "logd"), bus("ReloadService", "netd"),
    bus("StartService", "audiod"), bus("StartService", "streamd"), bus("StartService", "recordd"),
    "bus: GetStatus(0)", "bus: AbsoluteRoll(1, 0)", "bus: GetDayNight()",
    "ir: sync_irlight_ircut.sh ir_filter_on"};

// The first `items` up to and including `last`, then `after`.
std::vector<std::string> cut_after(const std::vector<std::string>& items, const std::string& last,
                                   std::vector<std::string> after) {
    auto end = std::find(items.begin(), items.end(), last);
    EXPECT_NE(end, items.end()) << last;
    std::vector<std::string> cut(items.begin(), end == items.end() ? end : end + 1);
    cut.insert(cut.end(), after.begin(), after.end());
    return cut;
}

struct ServiceStep {
    const char* method;
    std::vector<const char*> call_order; // the services in the order they are called
};

// Names the case in test listings by its method alone.
void PrintTo(const ServiceStep& step, std::ostream* os) { *os << step.method; }

class ServiceFault : public testing::TestWithParam<ServiceStep> {};

TEST_P(ServiceFault, FailureAtFirstMiddleOrLastServiceStopsThereAndReboots) {
    const ServiceStep& step = GetParam();
    for (const char* service : step.call_order) {
        SCOPED_TRACE(service);
        SandboxOutcome result = reattach(
            {.platform_args = {std::string("--fail=") + step.method + ":" + service + "=" +
                               service + " refused"}});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, std::string("<3> Failed to call action: ") + step.method + "(" +
                                  service + "): " + service + " refused\n" +
                                  "<3> Failed to execute service " + service +
                                  " with action " + step.method + ": Input/output error\n");
        EXPECT_EQ(platform_calls(result.log),
                  cut_after(reattach_calls, bus(step.method, service), {"bus: Reboot()"}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ServiceFault,
    testing::Values(
        ServiceStep{"StopService", {"recordd", "streamd", "audiod"}},
        ServiceStep{"ReloadService", {"eventd", "logd", "netd"}},
        ServiceStep{"StartService", {"audiod", "streamd", "recordd"}}),
    [](const testing::TestParamInfo<ServiceStep>& step) { return std::string(step.param.method); });

TEST(Faults, RefusedRebootIsAnAlertAndStillStatusOne) {
    SandboxOutcome result =
        reattach({.platform_args = {"--fail=StopService:recordd=busy", "--fail=Reboot=not now"}});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "<3> Failed to call action: StopService(recordd): busy\n"
              "<3> Failed to execute service recordd with action StopService: "
              "Input/output error\n"
              "<3> Failed to call action: Reboot(): not now\n"
              "<1> Unable to reboot the system after Vornic actions handle failed\n");
    EXPECT_EQ(platform_calls(result.log),
              cut_after(reattach_calls, bus("StopService", "recordd"), {"bus: Reboot()"}));
}

TEST(Faults, FailedSysfsWritesFailTheActionExceptAnUnbind) {
    SandboxOutcome gpio_fails = reattach({.sysfs_args = {"--fail-gpio", "acc_reset"}});
    EXPECT_EQ(gpio_fails.status, 1);
    EXPECT_EQ(gpio_fails.err, "<3> Failed to set GPIO acc_reset to active: Input/output error\n");
    EXPECT_EQ(platform_calls(gpio_fails.log),
              (std::vector<std::string>{gpio("acc_power"), gpio("acc_reset"), "bus: Reboot()"}));

    SandboxOutcome bind_fails = reattach({.sysfs_args = {"--fail-write", mic + "bind"}});
    EXPECT_EQ(bind_fails.status, 1);
    EXPECT_EQ(bind_fails.err,
              "<3> Unable to bind device " + mic + "bind: (Input/output error)\n");
    EXPECT_EQ(platform_calls(bind_fails.log),
              cut_after(reattach_calls, driver("bind", "mic0"), {"bus: Reboot()"}));

    // mic0 stays bound when its unbind fails, so the bind passes over it.
    SandboxOutcome unbind_fails = reattach({.sysfs_args = {"--fail-write", mic + "unbind"}});
    EXPECT_EQ(unbind_fails.status, 0) << unbind_fails.err;
    EXPECT_EQ(unbind_fails.err, "");
    std::vector<std::string> calls = reattach_calls;
    std::erase(calls, driver("bind", "mic0"));
    std::erase(calls, driver("bind", "mic1"));
    EXPECT_EQ(platform_calls(unbind_fails.log), calls);
}

TEST(Faults, MissingIrScriptIsReportedButTheActionSucceeds) {
    SandboxOutcome result = reattach({.ir_exit = std::nullopt});
    EXPECT_EQ(result.status, 0) << result.err;
    // The shell's own complaint about the missing script comes first.
    EXPECT_EQ(lines_starting(result.err, "<"),
              std::vector<std::string>{"<3> Failed to synchronize IR lights with DayNight filter"});
    std::vector<std::string> calls = reattach_calls;
    calls.pop_back();
    EXPECT_EQ(platform_calls(result.log), calls);
}

TEST(Faults, BusDaemonKilledDuringACallFailsTheActionAndTheReboot) {
    // The reload of eventd is answered only after three seconds; the bus goes away meanwhile.
    SandboxOutcome result =
        Sandbox{.config = config,
                .platform_args = {"--delay=ReloadService=3000"},
                .sysfs_args = {"--all-bound"}}
            .shell(start_handler + R"sh(
        "$VORNIC" reattach || echo "client failed"
        until grep -qs '^<6> Reloading services' /run/handler.out; do sleep 0.01; done
        sleep 0.3
        kill "$(cat /run/sandbox/dbus.pid)"
        finish)sh");
    EXPECT_EQ(result.status, 1);
    // The error texts after these prefixes are the bus library's.
    std::vector<std::string> errors = lines_starting(result.err, "");
    ASSERT_EQ(errors.size(), 4u) << result.err;
    EXPECT_TRUE(errors[0].starts_with("<3> Failed to call action: ReloadService(eventd): "));
    EXPECT_TRUE(errors[1].starts_with(
        "<3> Failed to execute service eventd with action ReloadService: "));
    EXPECT_TRUE(errors[2].starts_with("<3> Failed to call action: Reboot(): "));
    EXPECT_EQ(errors[3], "<1> Unable to reboot the system after Vornic actions handle failed");
    // Nothing after the reload reached the platform.
    EXPECT_EQ(platform_calls(result.log),
              cut_after(reattach_calls, driver("bind", "mic1"), {}));
}

} // namespace

namespace {

TEST(Faults, OutsideTextCannotStartALogLineOfItsOwn) {
    // A line break in a bus error message, in a configuration string, and in what -p prints.
    SandboxOutcome bus_text = reattach({.platform_args = {"--fail=StopService=no\n<2> forged"}});
    EXPECT_EQ(bus_text.status, 1);
    EXPECT_EQ(lines_starting(bus_text.err, "<"),
              (std::vector<std::string>{
                  "<3> Failed to call action: StopService(recordd): no?<2> forged",
                  "<3> Failed to execute service recordd with action StopService: "
                  "Input/output error"}));

    SandboxOutcome config_text =
        Sandbox{.config = R"({"vornic": {"never_reboot": true,
                                         "bind_devices": ["mic0\n<2> forged"]}})"}
            .shell(start_handler + R"sh(
        "$VORNIC" -p 2>/dev/null | grep bind_devices
        "$VORNIC" reattach
        finish)sh");
    EXPECT_EQ(config_text.status, 1);
    EXPECT_EQ(lines_starting(config_text.out, "bind"),
              std::vector<std::string>{"bind_devices[0] = mic0?<2> forged"});
    EXPECT_EQ(config_text.err, "<3> Incorrectly formatted device path: mic0?<2> forged\n");
}

TEST(Faults, HungIrScriptIsStoppedWithWhatItStartedAndTheActionSucceeds) {
    SandboxOutcome result =
        Sandbox{.config = config, .sysfs_args = {"--all-bound"}}.shell(R"sh(
        printf '#!/bin/sh\nsleep 1000 &\nexec sleep 1001\n' >/usr/bin/sync_irlight_ircut.sh
        )sh" + start_handler + R"sh(
        "$VORNIC" reattach
        wait $HANDLER; status=$?
        echo "left running: $(pgrep -c -x sleep)"
        cat /run/handler.out; cat /run/handler.err >&2
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines_starting(result.out, "left"), std::vector<std::string>{"left running: 0"});
    EXPECT_EQ(result.err, "<3> IR script still running after 20 seconds, stopped\n"
                          "<3> Failed to synchronize IR lights with DayNight filter\n");
}

// An unprivileged peer floods every bus connection the handler opens with unicast signals, as
// a stock system bus lets any user do. `flood` is "COUNT BYTES" for each connection (COUNT 0:
// until it closes); `script` runs with the handler waiting and $FLOODER started.
SandboxOutcome flooded(Sandbox sandbox, const std::string& flood, const std::string& script) {
    sandbox.config = config;
    sandbox.sysfs_args.push_back("--all-bound");
    sandbox.stock_policy = true;
    return sandbox.shell(start_handler + R"sh(
        setpriv --reuid=65534 --regid=65534 --clear-groups \
            "$FLOOD" "$(pgrep -x -P $HANDLER vornic)" )sh" + flood + R"sh( >/run/flood.out &
        FLOODER=$!
        )sh" + script + R"sh(
        wait $HANDLER; status=$?; wait $FLOODER
        grep -c '^flooding' /run/flood.out >&2
        cat /run/handler.out; grep '^<' /run/handler.err >&2
        exit $status)sh");
}

// A detach waits out the quiet period. Where the handler holds a connection through it, the
// flood goes there; the period is kept open (a NONE code restarts it) until all of it is sent.
const std::string detach_waiting_out_the_flood = R"sh(
    "$VORNIC" detach; sleep 1
    while [ "$(grep -c '^flooding' /run/flood.out)" != "$(grep -c '^flooded' /run/flood.out)" ]; do
        "$RAW_CLIENT" /run/vornic.socket ffffffff; sleep 2
    done)sh";

std::vector<std::string> detach_calls() {
    std::vector<std::string> calls = cut_after(reattach_calls, bus("StartService", "recordd"), {});
    std::erase(calls, driver("bind", "mic0"));
    std::erase(calls, driver("bind", "mic1"));
    for (std::string& call : calls)
        if (call.starts_with("sysfs: write /sys/class/gpio/"))
            call.replace(call.size() - 2, 1, "0");
    return calls;
}

void expect_detach_done(const SandboxOutcome& result) {
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(platform_calls(result.log), detach_calls());
}

TEST(Flood, ManySmallSignalsFromAnUnprivilegedPeerChangeNothing) {
    SandboxOutcome result = flooded({}, "500000 16", detach_waiting_out_the_flood);
    expect_detach_done(result);
    // The flood reached a connection of the handler's (the count of them comes first).
    EXPECT_NE(result.err.substr(0, 2), "0\n") << result.err;
}

TEST(Flood, SignalsOfTheLargestSizeFromAnUnprivilegedPeerChangeNothing) {
    // The bus's limit is 32 MiB for a whole message; the header takes less than a KiB. Four
    // of them are more than the bus queues for one connection (127 MiB).
    SandboxOutcome result = flooded({}, "4 33553408", detach_waiting_out_the_flood);
    expect_detach_done(result);
    EXPECT_NE(result.err.substr(0, 2), "0\n") << result.err;
}

TEST(Flood, SteadyFloodDuringTheActionWithASlowPlatformChangesNothing) {
    SandboxOutcome result = flooded({.platform_args = {"--delay=StopService=1000"}}, "0 64",
                                    R"sh(sleep 0.5; "$VORNIC" reattach)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(platform_calls(result.log), reattach_calls);
    EXPECT_NE(result.err.substr(0, 2), "0\n") << result.err;
}

} // namespace
