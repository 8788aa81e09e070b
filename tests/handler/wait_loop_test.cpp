// The wait loop with a short quiet period: how codes from several clients merge into the one
// action carried out, and how a stop ends the wait.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

// Attach binds mic0, detach unbinds spk0 (bound at the start), and a re-attach does both, so
// the driver writes tell which action ran.
const std::string config = R"({"vornic": {
    "bind_devices": ["/sys/bus/platform/drivers/mic/mic0"],
    "unbind_devices": ["/sys/bus/platform/drivers/spk/spk0"],
    "startstop_services": ["audiod"]}})";

Sandbox sandbox() {
    return {.config = config,
            .sysfs_args = {"--bound", "/sys/bus/platform/drivers/spk/spk0"}};
}

// Starts the wait loop with the given quiet period in the background as $HANDLER, its
// output in /run/handler.out and /run/handler.err, and waits for its socket.
std::string start_loop(int seconds) {
    return "\"$PROBE\" wait " + std::to_string(seconds) +
           R"sh( >/run/handler.out 2>/run/handler.err & HANDLER=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        executed() { grep -c 'Action executed' /run/handler.out || true; }
        finish() { wait $HANDLER; status=$?; cat /run/handler.out; cat /run/handler.err >&2
                   exit $status; }
    )sh";
}

// Which action ran, told by the driver writes: attach binds mic0, detach unbinds spk0.
std::vector<std::string> driver_writes(const SandboxOutcome& result) {
    std::vector<std::string> writes;
    for (const std::string& call : platform_calls(result.log))
        if (call.starts_with("sysfs: write /sys/bus/"))
            writes.push_back(call.substr(call.rfind('/') + 1));
    return writes;
}

const std::vector<std::string> attach_writes = {"bind \"mic0\""};
const std::vector<std::string> detach_writes = {"unbind \"spk0\""};
const std::vector<std::string> reattach_writes = {"unbind \"spk0\"", "bind \"mic0\""};

TEST(WaitLoop, CodeNoneAloneExecutesNothingAfterTheQuietPeriod) {
    SandboxOutcome result = sandbox().shell(start_loop(1) + R"sh(
        "$RAW_CLIENT" /run/vornic.socket ffffffff; finish)sh");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(platform_calls(result.log), std::vector<std::string>{});
}

TEST(WaitLoop, DetachAfterAttachWinsAQuietPeriodAfterIt) {
    SandboxOutcome result = sandbox().shell(start_loop(3) + R"sh(
        "$VORNIC" attach; sleep 1.5
        "$VORNIC" detach; sleep 1.5
        echo "executed 1.5 seconds after detach: $(executed)"
        finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines_starting(result.out, "executed"),
              std::vector<std::string>{"executed 1.5 seconds after detach: 0"});
    EXPECT_EQ(driver_writes(result), detach_writes);
}

TEST(WaitLoop, FirstReattachRunsAtOnceAndLaterClientsAreNotRead) {
    // The stop takes a second, so the second client connects while the action runs.
    Sandbox slow = sandbox();
    slow.platform_args = {"--delay=StopService=1000"};
    SandboxOutcome result = slow.shell(start_loop(8) + R"sh(
        "$VORNIC" reattach; sleep 0.3
        "$VORNIC" detach; echo "second client: $?"; sleep 4
        echo "executed within the quiet period: $(executed)"
        finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines_starting(result.out, "second client"),
              std::vector<std::string>{"second client: 0"});
    EXPECT_EQ(lines_starting(result.out, "executed"),
              std::vector<std::string>{"executed within the quiet period: 1"});
    EXPECT_EQ(driver_writes(result), reattach_writes);
}

TEST(WaitLoop, InvalidCodesAreLoggedAndRestartTheQuietPeriod) {
    // Without the restart, the attach would run 3 seconds after it came.
    SandboxOutcome result = sandbox().shell(start_loop(3) + R"sh(
        "$VORNIC" attach; sleep 2
        "$RAW_CLIENT" /run/vornic.socket 03000000; sleep 2
        echo "executed 4 seconds after attach: $(executed)"
        "$RAW_CLIENT" /run/vornic.socket feffffff
        finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines_starting(result.out, "executed"),
              std::vector<std::string>{"executed 4 seconds after attach: 0"});
    EXPECT_EQ(driver_writes(result), attach_writes);
    EXPECT_EQ(result.err, "<3> Invalid action received: 3\n"
                          "<3> Invalid action received: -2\n");
}

TEST(WaitLoop, NoSystemBusEndsBeforeWaiting) {
    Sandbox no_bus = sandbox();
    no_bus.no_bus = true;
    SandboxOutcome result = no_bus.run({PROBE_BINARY, "wait", "1"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "<3> Failed to connect to system bus: No such file or directory\n"
                          "<1> Unable to handle Vornic actions: DBUS connection error\n");
}

} // namespace
