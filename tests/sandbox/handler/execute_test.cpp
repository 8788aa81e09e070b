// SPDX-License-Identifier: MIT
// The runner of the execution sequence against the simulated platform: each kind of step
// reaches it, the state test ends an action in place, a failed step ends the sequence with a
// reboot request (none with never_reboot), and a refused reboot is an alert. Which steps an
// action takes, with which progress lines, plan_test pins in-process.
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string mic = "/sys/bus/platform/drivers/mic/";

std::string config(const std::string& extra = "") {
    return R"({"vornic": {)" + extra + R"(
        "sync_irlight": true, "trigger_mic_swap": true,
        "set_gpio": ["acc_power", "acc_reset"],
        "bind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
        "unbind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
        "startstop_services": ["audiod", "streamd", "recordd"],
        "reload_services": ["eventd", "logd", "netd"]}})";
}

std::string gpio(const char* name, const char* value = "1") {
    return std::string("sysfs: write /sys/class/gpio/") + name + "/value \"" + value + "\"";
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

// The re-attach's calls up to and including `last`, then the reboot request and `after`.
std::vector<std::string> rebooting_after(const std::string& last,
                                         const std::vector<std::string>& after = {}) {
    auto end = std::find(reattach_calls.begin(), reattach_calls.end(), last);
    EXPECT_NE(end, reattach_calls.end()) << last;
    std::vector<std::string> calls(reattach_calls.begin(),
                                   end == reattach_calls.end() ? end : end + 1);
    calls.push_back("bus: Reboot()");
    calls.insert(calls.end(), after.begin(), after.end());
    return calls;
}

const std::string failed = "<6> Action failed, resorting to reboot...\n";
const std::string succeeded = "<6> Action executed successfully\n";
const std::string in_place = "<6> Setting GPIOs...\n"
                             "<6> Device state matches the requested action, nothing to do\n";

struct Row {
    const char* name;
    const char* action;
    Sandbox sandbox; // the configuration above when it sets none
    int status;
    std::string err;
    std::string out_end; // the last progress lines
    std::vector<std::string> calls;
};

const Row rows[] = {
    {"every kind of step reaches the platform; a reply carrying a value is success", "reattach",
     {.platform_args = {"--control-reply-value=queued"}, .sysfs_args = {"--all-bound"}}, 0, "",
     "<6> Setting GPIOs...\n<6> Stopping services...\n<6> Re-Binding drivers...\n"
     "<6> Reloading services...\n<6> Starting services...\n"
     "<6> IR lights status synchronized with DayNight filter\n" + succeeded,
     reattach_calls},
    {"attach with every device bound is in place", "attach", {.sysfs_args = {"--all-bound"}},
     0, "", in_place, {gpio("acc_power"), gpio("acc_reset")}},
    {"detach with no device bound is in place", "detach", {}, 0, "", in_place,
     {gpio("acc_power", "0"), gpio("acc_reset", "0")}},
    {"a failed unbind is passed over, and the devices still bound are not bound again",
     "reattach", {.sysfs_args = {"--all-bound", "--fail-write", mic + "unbind"}}, 0, "",
     succeeded, [] {
         std::vector<std::string> calls = reattach_calls;
         std::erase(calls, driver("bind", "mic0"));
         std::erase(calls, driver("bind", "mic1"));
         return calls;
     }()},
    {"a failed GPIO ends the action", "reattach", {.sysfs_args = {"--fail-gpio", "acc_reset"}},
     1, "<3> Failed to set GPIO acc_reset to active: Input/output error\n",
     "<6> Setting GPIOs...\n" + failed, rebooting_after(gpio("acc_reset"))},
    {"never_reboot, and a GPIO set inactive", "detach",
     {.config = config(R"("never_reboot": true,)"), .sysfs_args = {"--fail-gpio", "acc_power"}},
     1, "<3> Failed to set GPIO acc_power to inactive: Input/output error\n",
     "<6> Setting GPIOs...\n", {gpio("acc_power", "0")}},
    {"a GPIO name too long for the kernel to have fails before any write", "attach",
     {.config = R"({"vornic": {"never_reboot": true, "set_gpio": [")" + std::string(233, 'x') +
                R"("]}})"},
     1, "", "<6> Setting GPIOs...\n", {}},
    {"a failed bind ends the action", "reattach",
     {.sysfs_args = {"--all-bound", "--fail-write", mic + "bind"}},
     1, "<3> Unable to bind device " + mic + "bind: (Input/output error)\n",
     "<6> Re-Binding drivers...\n" + failed, rebooting_after(driver("bind", "mic0"))},
    {"a bind whose driver never returns fails after 25 seconds", "attach",
     {.sysfs_args = {"--hang-write", mic + "bind"}},
     1, "<3> Unable to bind device " + mic + "bind: (Timer expired)\n",
     "<6> Binding drivers...\n" + failed,
     {gpio("acc_power"), gpio("acc_reset"), bus("StopService", "recordd"),
      bus("StopService", "streamd"), bus("StopService", "audiod"),
      "sysfs: " + mic + "bind hangs", "bus: Reboot()"}},
    {"an unbind whose driver never returns is passed over after 25 seconds", "reattach",
     {.config = R"({"vornic": {"unbind_devices": [")" + mic + R"(mic0"], "bind_devices": [")" +
                mic + R"(mic0"]}})",
      .sysfs_args = {"--all-bound", "--hang-write", mic + "unbind"}},
     0, "", succeeded, {"sysfs: " + mic + "unbind hangs"}},
    {"a failed stop ends there", "reattach",
     {.platform_args = {"--fail=StopService:streamd=not now"}}, 1,
     "<3> Failed to call action: StopService(streamd): not now\n"
     "<3> Failed to execute service streamd with action StopService: Input/output error\n",
     "<6> Stopping services...\n" + failed, rebooting_after(bus("StopService", "streamd"))},
    {"a refused reboot is an alert; the bus's text cannot start a log line", "reattach",
     {.platform_args = {"--fail=ReloadService:eventd=busy", "--fail=Reboot=no\n<2> forged"},
      .sysfs_args = {"--all-bound"}}, 1,
     "<3> Failed to call action: ReloadService(eventd): busy\n"
     "<3> Failed to execute service eventd with action ReloadService: Input/output error\n"
     "<3> Failed to call action: Reboot(): no?<2> forged\n"
     "<1> Unable to reboot the system after Vornic actions handle failed\n",
     "<6> Reloading services...\n" + failed,
     // The simulator logs the refusal's text as it is.
     rebooting_after(bus("ReloadService", "eventd"), {"<2> forged"})},
    {"a platform's error text is cut to a length the journal keeps as one record", "reattach",
     {.config = config(R"("never_reboot": true,)"),
      .platform_args = {"--fail=StopService:recordd=" + std::string(48 * 1024, 'x')}},
     1,
     "<3> Failed to call action: StopService(recordd): " + std::string(1019, 'x') + "[...]\n"
     "<3> Failed to execute service recordd with action StopService: Input/output error\n",
     "<6> Stopping services...\n", {gpio("acc_power"), gpio("acc_reset"),
                                     bus("StopService", "recordd")}},
    {"a refused roll angle is a warning, the action succeeds", "reattach",
     {.platform_args = {"--fail=AbsoluteRoll=view is locked"}, .sysfs_args = {"--all-bound"}},
     0, "<4> Failed to trigger chain of events for swapping mics.\n", succeeded,
     reattach_calls},
    {"a failing IR script is reported, the action succeeds", "reattach",
     {.sysfs_args = {"--all-bound"}, .ir_exit = 3}, 0,
     "<3> Failed to synchronize IR lights with DayNight filter\n",
     "<6> Starting services...\n" + succeeded, reattach_calls},
    {"a device path from the configuration cannot start a log line", "attach",
     {.config = R"({"vornic": {"never_reboot": true, "bind_devices": ["mic0\n<2> forged"]}})"},
     1, "<3> Incorrectly formatted device path: mic0?<2> forged\n",
     "<6> Binding drivers...\n", {}},
};

TEST(ExecuteAction, StepsReachThePlatformAndAFailureEndsTheAction) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Sandbox sandbox = row.sandbox;
        sandbox.config = sandbox.config.value_or(config());
        SandboxOutcome result = sandbox.run({PROBE_BINARY, "execute", row.action});
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.err, row.err);
        EXPECT_TRUE(result.out.ends_with(row.out_end)) << result.out;
        EXPECT_EQ(platform_calls(result.log), row.calls);
    }
}

} // namespace
