// The handler through the real binary: socket activation, a socket made by hand, a bad
// configuration, and the whole story of an accessory removed and attached again. Each run
// waits out the real 8-second quiet period, so these are few and run in parallel.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string mic = "/sys/bus/platform/drivers/mic/";

const std::string config = R"({"vornic": {
    "set_gpio": ["acc_power"],
    "bind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
    "unbind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
    "startstop_services": ["audiod", "streamd"]}})";

const std::string reattach_lines = "<6> Setting GPIOs...\n"
                                   "<6> Stopping services...\n"
                                   "<6> Re-Binding drivers...\n"
                                   "<6> Starting services...\n"
                                   "<6> Action executed successfully\n";

TEST(HandlerStartup, SocketActivationUsesThePassedSocket) {
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        systemd-socket-activate -l /run/vornic.socket "$VORNIC" -s \
            >/run/handler.out 2>/dev/null & ACTIVATOR=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        before=$(stat -c %i /run/vornic.socket)
        "$VORNIC" reattach
        wait $ACTIVATOR; status=$?
        cat /run/handler.out
        [ "$(stat -c %i /run/vornic.socket)" = "$before" ] && echo "same socket file"
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "<6> Waiting for commands with 8 seconds timeout\n" + reattach_lines +
                              "same socket file\n");
}

TEST(HandlerStartup, TwoPassedSocketsAreRefused) {
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        systemd-socket-activate -l /run/vornic.socket -l /run/second.socket "$VORNIC" -s \
            2>/run/activator.err & ACTIVATOR=$!
        until [ -S /run/second.socket ]; do sleep 0.01; done
        "$RAW_CLIENT" /run/vornic.socket 02000000
        wait $ACTIVATOR; status=$?
        grep -v -e '^Listening on' -e '^Communication attempt' -e '^Execing' /run/activator.err >&2
        exit $status)sh");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Too many file descriptors received\n");
}

TEST(HandlerStartup, HandStartedHandlerReplacesStaleFileWithOwnerOnlySocket) {
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        echo stale > /run/vornic.socket
        "$VORNIC" -s >/run/handler.out & HANDLER=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        stat -c '%F %a' /run/vornic.socket
        "$VORNIC" reattach
        wait $HANDLER; status=$?
        cat /run/handler.out
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "socket 711\n<6> Waiting for commands with 8 seconds timeout\n" +
                              reattach_lines);
}

TEST(HandlerStartup, InvalidConfigurationEndsTheRunButKeepsTheSocket) {
    SandboxOutcome result = Sandbox{.config = R"({"vornic": {"never_reboot": "yes"}})"}.shell(R"sh(
        "$VORNIC" -s; status=$?
        [ -S /run/vornic.socket ] && echo "socket file remains"
        exit $status)sh");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "socket file remains\n");
    EXPECT_EQ(result.err, "<3> Invalid value for 'never_reboot', expected a boolean.\n"
                          "Failed to get configuration\n");
}

TEST(HandlerStartup, AccessoryRemovedAndAttachedAgainIsOneReattach) {
    // The accessory is attached at the start: its drivers bound, its GPIO high.
    SandboxOutcome result = Sandbox{.config = config, .sysfs_args = {"--all-bound"}}.shell(R"sh(
        printf 1 > /sys/class/gpio/acc_power/value
        systemd-socket-activate -l /run/vornic.socket "$VORNIC" -s \
            >/run/handler.out 2>/dev/null & ACTIVATOR=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        "$VORNIC" detach && "$VORNIC" attach && echo "clients done"
        wait $ACTIVATOR; status=$?
        cat /run/handler.out
        echo "gpio $(cat /sys/class/gpio/acc_power/value)"
        echo "bound $(ls /sys/bus/platform/drivers/mic/ | grep -v bind | tr '\n' ' ')"
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "clients done\n"
                          "<6> Waiting for commands with 8 seconds timeout\n" +
                              reattach_lines + "gpio 1\nbound mic0 mic1 \n");
    EXPECT_NE(result.state.find("service audiod running"), std::string::npos) << result.state;
    EXPECT_NE(result.state.find("service streamd running"), std::string::npos) << result.state;
    EXPECT_EQ(lines_starting(result.log, "bus: Reboot"), std::vector<std::string>{});
}

TEST(HandlerStartup, AttachEndsWithRollThenIrLightsThenSuccess) {
    SandboxOutcome result =
        Sandbox{.config = R"({"vornic": {"sync_irlight": true, "trigger_mic_swap": true,
                                         "startstop_services": ["audiod"]}})",
                .platform_args = {"--roll=300", "--daynight=night"}}
            .shell(R"sh(
        "$VORNIC" -s >/run/handler.out & HANDLER=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        "$VORNIC" attach
        wait $HANDLER; status=$?
        cat /run/handler.out
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "<6> Waiting for commands with 8 seconds timeout\n"
                          "<6> Stopping services...\n"
                          "<6> Starting services...\n"
                          "<6> IR lights status synchronized with DayNight filter\n"
                          "<6> Action executed successfully\n");
    EXPECT_EQ(lines_starting(result.log, "bus: "),
              (std::vector<std::string>{
                  "bus: StopService(\"audiod\") -> ok", "bus: StartService(\"audiod\") -> ok",
                  "bus: GetStatus(0) -> (\"camera\", \"1920x1080\", \"normal\", \"ok\", 0, 0, 300)",
                  "bus: AbsoluteRoll(1, -60) -> ok", "bus: GetDayNight() -> \"night\""}));
    // The IR script is the last thing the platform sees; its success line precedes the
    // handler's final one above.
    EXPECT_EQ(lines_starting(result.log, "").back(), "ir: sync_irlight_ircut.sh ir_filter_off");
}

} // namespace
