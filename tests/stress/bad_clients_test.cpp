// Hostile and broken clients against the real handler: whatever they send, it never crashes,
// and none of them holds it up for longer than the bound on reading a client's code.
#include "stress/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string mic = "/sys/bus/platform/drivers/mic/";

const std::string config = R"({"vornic": {
    "bind_devices": [")" + mic + R"(mic0"],
    "unbind_devices": [")" + mic + R"(mic0"],
    "startstop_services": ["audiod"]}})";

const std::string waiting = "<6> Waiting for commands with 8 seconds timeout\n";

TEST(BadClients, GarbageCodesAreSkippedAndBytesBeyondFourIgnored) {
    // Codes just outside the valid range and at the ends of int32_t, then an attach followed
    // by a stray fifth byte: read as one code from its first four bytes, it is a valid attach;
    // read from any other four it would be garbage too.
    SandboxOutcome result = Sandbox{.config = config}.shell(start_handler + R"sh(
        for code in 03000000 feffffff 00000080 ffffff7f 41424344; do
            "$RAW_CLIENT" /run/vornic.socket $code
        done
        "$RAW_CLIENT" /run/vornic.socket 0000000002
        finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, waiting + "<6> Stopping services...\n"
                                    "<6> Binding drivers...\n"
                                    "<6> Starting services...\n"
                                    "<6> Action executed successfully\n");
    EXPECT_EQ(result.err, "<3> Invalid action received: 3\n"
                          "<3> Invalid action received: -2\n"
                          "<3> Invalid action received: -2147483648\n"
                          "<3> Invalid action received: 2147483647\n"
                          "<3> Invalid action received: 1145258561\n");
}

TEST(BadClients, ShortCodeOrAtOnceCloseEndsTheRunAndDropsThePendingAction) {
    for (std::string bytes : {"", "01", "0100", "010000"}) {
        SCOPED_TRACE("bytes sent: " + bytes);
        SandboxOutcome result = Sandbox{.config = config}.shell(start_handler + R"sh(
            "$VORNIC" detach
            "$RAW_CLIENT" /run/vornic.socket ")sh" + bytes + R"sh("
            finish)sh");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, waiting);
        // The read ended early without an error.
        EXPECT_EQ(result.err, "<3> Read Error: Success\n");
        EXPECT_EQ(platform_calls(result.log), std::vector<std::string>{});
    }
}

TEST(BadClients, StalledClientHoldsUpTheNextEventOnlyUntilTheReadBound) {
    // As systemd's socket unit does, the listening socket outlives each handler run, and a
    // run is started again while a connection waits on it. A client that connects and never
    // writes costs the handler that run; the attach queued behind it is carried out by the
    // next, while the stalled client is still connected.
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        systemd-socket-activate -l /run/vornic.socket bash -c '
            for run in 1 2; do
                timeout 60 bash -c "export LISTEN_PID=\$\$; exec \"\$0\" -s" "$0"
                echo "run $run status $?"
            done' "$VORNIC" >/run/handler.out 2>/run/handler.err & ACTIVATOR=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        exec 3< <("$RAW_CLIENT" --stall /run/vornic.socket; echo "stall over")
        read -r connected <&3
        "$VORNIC" attach && echo "attach queued"
        wait $ACTIVATOR
        read -r -t 0 -u 3 || echo "stalled client still connected"
        cat /run/handler.out
        grep '^<' /run/handler.err >&2)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "attach queued\n"
                          "stalled client still connected\n" +
                              waiting + "run 1 status 1\n" + waiting +
                              "<6> Stopping services...\n"
                              "<6> Binding drivers...\n"
                              "<6> Starting services...\n"
                              "<6> Action executed successfully\n"
                              "run 2 status 0\n");
    EXPECT_EQ(result.err, "<3> Read Error: Resource temporarily unavailable\n");
}

} // namespace
