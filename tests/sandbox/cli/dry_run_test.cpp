// SPDX-License-Identifier: MIT
// `vornic -n` on the simulated camera: what each action would do next to what the camera
// shows, the status when a step would not find what it needs, and that nothing is written
// or called meanwhile.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string mic = "/sys/bus/platform/drivers/mic/mic0";

const std::string config = R"({"vornic": {"sync_irlight": true, "trigger_mic_swap": true,
    "set_gpio": ["acc_power"], "bind_devices": [")" + mic + R"("],
    "unbind_devices": [")" + mic + R"("], "startstop_services": ["audiod", "streamd"]}})";

const std::string control = "com.norv.PolicyKitSystem has an owner";
// Stopped in the reverse of the order they are started in.
const std::string stop = "stop service streamd: " + control + "\nstop service audiod: " + control;
const std::string start = "start service audiod: " + control + "\nstart service streamd: " + control;
const std::string absent = "com.norv.PolicyKitSystem has no owner on the system bus";
const std::string bind = "bind " + mic + ": its name goes to /sys/bus/platform/drivers/mic/bind";
const std::vector<std::string> follow_ups = {
    "swap microphones: com.norv.CamViewSetup.Setup has an owner",
    "sync IR lights: com.norv.Optics2 has an owner",
    "sync IR lights: /usr/bin/sync_irlight_ircut.sh is executable", "report success",
    "on failure: reboot, " + control};

std::string lines(std::vector<std::string> first, const std::vector<std::string>& then = {}) {
    first.insert(first.end(), then.begin(), then.end());
    std::string text;
    for (const std::string& line : first)
        text += line + "\n";
    return text;
}

struct Row {
    const char* name;
    const char* action;
    Sandbox sandbox; // with the configuration above
    int status;
    std::string out;
    const char* before = ""; // a shell command that changes the camera first
};

const Row rows[] = {
    {"attach goes on past an unbound device", "attach", {}, 0,
     lines({"set GPIO acc_power to 1: now 0", "state test: " + mic + " is not bound",
            "state test: the action goes on", stop, bind, start},
           follow_ups)},
    {"attach ends with every device bound", "attach", {.sysfs_args = {"--all-bound"}}, 0,
     lines({"set GPIO acc_power to 1: now 0", "state test: " + mic + " is bound",
            "state test: every device is bound, the action ends here",
            "on failure: reboot, " + control})},
    {"detach ends with no device bound", "detach", {}, 0,
     lines({"set GPIO acc_power to 0: now 0", "state test: " + mic + " is not bound",
            "state test: no device is bound, the action ends here",
            "on failure: reboot, " + control})},
    {"detach goes on past a bound device", "detach", {.sysfs_args = {"--all-bound"}}, 0,
     lines({"set GPIO acc_power to 0: now 0", "state test: " + mic + " is bound",
            "state test: the action goes on", stop, "unbind " + mic + ": bound", start,
            "report success", "on failure: reboot, " + control})},
    {"reattach binds again what it unbinds", "reattach", {.sysfs_args = {"--all-bound"}}, 0,
     lines({"set GPIO acc_power to 1: now 0", stop, "unbind " + mic + ": bound", bind, start},
           follow_ups)},
    {"a missing GPIO would fail the action", "reattach",
     {.sysfs_args = {"--absent-gpio", "acc_power"}}, 1,
     lines({"set GPIO acc_power to 1: /sys/class/gpio/acc_power/value cannot be read, "
            "setting it fails",
            stop, "unbind " + mic + ": not bound, a refused write is passed over", bind, start},
           follow_ups)},
    {"an absent service, and no IR script", "attach",
     {.platform_args = {"--absent=service-control"}, .ir_exit = std::nullopt}, 1,
     lines({"set GPIO acc_power to 1: now 0", "state test: " + mic + " is not bound",
            "state test: the action goes on",
            "stop service streamd: " + absent, "stop service audiod: " + absent, bind,
            "start service audiod: " + absent, "start service streamd: " + absent,
            "swap microphones: com.norv.CamViewSetup.Setup has an owner",
            "sync IR lights: com.norv.Optics2 has an owner",
            "sync IR lights: /usr/bin/sync_irlight_ircut.sh is missing", "report success",
            "on failure: reboot, " + absent})},
    {"an IR script that root can read but not execute", "reattach",
     {.sysfs_args = {"--all-bound"}}, 1,
     lines({"set GPIO acc_power to 1: now 0", stop, "unbind " + mic + ": bound", bind, start,
            "swap microphones: com.norv.CamViewSetup.Setup has an owner",
            "sync IR lights: com.norv.Optics2 has an owner",
            "sync IR lights: /usr/bin/sync_irlight_ircut.sh is not executable",
            "report success", "on failure: reboot, " + control}),
     "chmod 0644 /usr/bin/sync_irlight_ircut.sh;"},
};

TEST(DryRun, ShowsEachStepAgainstTheCameraAndTouchesNothing) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Sandbox sandbox = row.sandbox;
        sandbox.config = config;
        SandboxOutcome result =
            *row.before ? sandbox.shell(std::string(row.before) + R"( exec "$VORNIC" -n )" +
                                        row.action)
                        : sandbox.run({vornic_binary, "-n", row.action});
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(platform_calls(result.log), std::vector<std::string>{});
    }
}

} // namespace
