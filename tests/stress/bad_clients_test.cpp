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

// The driver writes the handler made: bind for an attach, unbind then bind for a re-attach.
std::vector<std::string> driver_writes(const SandboxOutcome& result) {
    std::vector<std::string> writes;
    for (const std::string& call : platform_calls(result.log))
        if (call.starts_with("sysfs: write " + mic))
            writes.push_back(call.substr(("sysfs: write " + mic).size()));
    return writes;
}

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
    EXPECT_EQ(driver_writes(result), std::vector<std::string>{"bind \"mic0\""});
    EXPECT_EQ(result.err, "<3> Invalid action received: 3\n"
                          "<3> Invalid action received: -2\n"
                          "<3> Invalid action received: -2147483648\n"
                          "<3> Invalid action received: 2147483647\n"
                          "<3> Invalid action received: 1145258561\n");
}

TEST(BadClients, FailedReadCostsOnlyThatClientsMessage) {
    // Clients that close at once, send fewer than four bytes, or connect and then stay silent
    // past the read bound: each is reported and dropped, and the handler goes on waiting. In
    // the first run they come between a detach and an attach, which still make one re-attach
    // after the quiet period; in the second nothing is pending, and nothing is done.
    const std::string failing_clients = R"sh(
        for bytes in "" 01 0100 010000; do "$RAW_CLIENT" /run/vornic.socket "$bytes"; done
        exec 3< <("$RAW_CLIENT" --stall /run/vornic.socket); read -r connected <&3
    )sh";
    SandboxOutcome result = Sandbox{.config = config}.shell(
        start_handler + "\"$VORNIC\" detach" + failing_clients + R"sh(
        "$VORNIC" attach
        wait $HANDLER; echo "run 1 status $?"
        cat /run/handler.out; cat /run/handler.err >&2
        )sh" + start_handler + failing_clients + "finish");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines_starting(result.out, "run 1"), std::vector<std::string>{"run 1 status 0"});
    EXPECT_EQ(driver_writes(result),
              (std::vector<std::string>{"unbind \"mic0\"", "bind \"mic0\""}));
    // Each read ended early without an error, but the stalled one.
    const std::string read_errors = "<3> Read Error: Success\n"
                                    "<3> Read Error: Success\n"
                                    "<3> Read Error: Success\n"
                                    "<3> Read Error: Success\n"
                                    "<3> Read Error: Resource temporarily unavailable\n";
    EXPECT_EQ(lines_starting(result.err, "<"), lines_starting(read_errors + read_errors, "<"));
    EXPECT_EQ(lines_starting(result.log, "bus: "),
              (std::vector<std::string>{"bus: StopService(\"audiod\") -> ok",
                                        "bus: StartService(\"audiod\") -> ok"}));
}

TEST(BadClients, FailingAcceptBacksOffAndThePendingActionStands) {
    // With no descriptor left, accept fails while the client waits in the backlog; once the
    // limit is lifted, that client is read, and its attach merges with the detach before it.
    SandboxOutcome result = Sandbox{.config = config}.shell(start_handler + R"sh(
        "$VORNIC" detach
        handler=$(pgrep -x -P $HANDLER vornic)
        prlimit --pid $handler --nofile=4:1024
        "$VORNIC" attach; sleep 3
        prlimit --pid $handler --nofile=1024:1024
        finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(driver_writes(result),
              (std::vector<std::string>{"unbind \"mic0\"", "bind \"mic0\""}));
    // Spinning would write a line per try: hundreds of thousands in three seconds.
    std::vector<std::string> failures = lines_starting(result.err, "<3> Connection accept fail");
    EXPECT_GE(failures.size(), 2u) << result.err;
    EXPECT_LE(failures.size(), 10u) << result.err;
    EXPECT_EQ(lines_starting(result.err, "<").size(), failures.size()) << result.err;
    for (const std::string& line : failures)
        EXPECT_EQ(line, "<3> Connection accept fail: Too many open files");
}

} // namespace
