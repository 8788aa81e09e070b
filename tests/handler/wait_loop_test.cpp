// The wait loop with a short quiet period: how codes from several clients merge into the one
// action carried out, and how a stop ends the wait.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

// Attach binds mic0, detach unbinds spk0 (bound at the start), and a re-attach does both, so
// the progress lines tell which action ran.
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

std::string waiting(int seconds) {
    return "<6> Waiting for commands with " + std::to_string(seconds) + " seconds timeout\n";
}

const std::string attach_lines = "<6> Stopping services...\n"
                                 "<6> Binding drivers...\n"
                                 "<6> Starting services...\n"
                                 "<6> Action executed successfully\n";
const std::string detach_lines = "<6> Stopping services...\n"
                                 "<6> Un-Binding drivers...\n"
                                 "<6> Starting services...\n"
                                 "<6> Action executed successfully\n";
const std::string reattach_lines = "<6> Stopping services...\n"
                                   "<6> Re-Binding drivers...\n"
                                   "<6> Starting services...\n"
                                   "<6> Action executed successfully\n";

TEST(WaitLoop, QuietPeriodWithoutClientsEndsTheRun) {
    SandboxOutcome result = sandbox().shell(start_loop(1) + "finish");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, waiting(1));
    EXPECT_EQ(result.err, "");
}

TEST(WaitLoop, DetachAfterAttachWinsAQuietPeriodAfterIt) {
    SandboxOutcome result = sandbox().shell(start_loop(3) + R"sh(
        "$VORNIC" attach; sleep 1.5
        "$VORNIC" detach; sleep 1.5
        echo "executed 1.5 seconds after detach: $(executed)"
        finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "executed 1.5 seconds after detach: 0\n" + waiting(3) + detach_lines);
}

TEST(WaitLoop, AttachAfterDetachBecomesReattach) {
    SandboxOutcome result = sandbox().shell(start_loop(2) + R"sh(
        "$VORNIC" detach; "$VORNIC" attach; finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, waiting(2) + reattach_lines);
}

TEST(WaitLoop, ReattachAfterAttachKeepsAttach) {
    SandboxOutcome result = sandbox().shell(start_loop(2) + R"sh(
        "$VORNIC" attach; "$VORNIC" reattach; finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, waiting(2) + attach_lines);
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
    EXPECT_EQ(result.out, "second client: 0\nexecuted within the quiet period: 1\n" +
                              waiting(8) + reattach_lines);
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
    EXPECT_EQ(result.out, "executed 4 seconds after attach: 0\n" + waiting(3) + attach_lines);
    EXPECT_EQ(result.err, "<3> Invalid action received: 3\n"
                          "<3> Invalid action received: -2\n");
}

TEST(WaitLoop, NoneAloneExecutesNothing) {
    SandboxOutcome result = sandbox().shell(start_loop(1) + R"sh(
        "$RAW_CLIENT" /run/vornic.socket ffffffff; finish)sh");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, waiting(1));
    EXPECT_EQ(lines_starting(result.log, "bus: "), std::vector<std::string>{});
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
