// SPDX-License-Identifier: MIT
// Hostile and broken clients against the real handler: whatever they send, it never crashes,
// none of them holds it up for longer than the bound on reading a client's code, and none
// costs more than its own message.
#include "support/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

TEST(BadClients, EachCostsOnlyItsOwnMessage) {
    // Codes just outside the valid range and at the ends of int32_t; clients that close at
    // once, send fewer than four bytes, or connect and then stay silent past the read bound.
    const std::string bad_clients = R"sh(
        for bytes in 03000000 feffffff 00000080 ffffff7f 41424344 "" 01 0100 010000; do
            "$RAW_CLIENT" /run/vornic.socket "$bytes"
        done
        exec 3< <("$RAW_CLIENT" --stall /run/vornic.socket); read -r connected <&3
    )sh";
    // In the first run, accept fails for want of a descriptor while an attach waits in the
    // backlog; once the limit is lifted, the attach is read and merges with the detach
    // before it, and the bad clients after it leave that re-attach standing. The attach
    // carries a stray fifth byte: read from any four bytes but its first, it would be garbage
    // too. In the second run nothing is pending, and nothing is done.
    SandboxOutcome result = Sandbox{.config = accessory_config}.shell(start_handler + R"sh(
        "$VORNIC" detach
        handler=$(pgrep -x -P $HANDLER vornic)
        prlimit --pid $handler --nofile=4:1024
        "$RAW_CLIENT" /run/vornic.socket 0000000002; sleep 3
        prlimit --pid $handler --nofile=1024:1024
        )sh" + bad_clients + R"sh(
        wait $HANDLER; status=$?
        accept_failure='^<3> Connection accept fail: Too many open files$'
        # Spinning would write a line per try: hundreds of thousands in three seconds.
        failures=$(grep -c "$accept_failure" /run/handler.err)
        (( failures >= 2 && failures <= 10 )) && failures="a few"
        echo "run 1: status $status, accept failed $failures times"
        grep -v "$accept_failure" /run/handler.err >&2
        )sh" + start_handler + bad_clients + "finish");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines_starting(result.out, "run 1"),
              std::vector<std::string>{"run 1: status 0, accept failed a few times"});
    EXPECT_EQ(platform_calls(result.log), accessory_reattach);
    // Each read ended early without an error, but the stalled one.
    const std::string bad_client_lines = "<3> Invalid action received: 3\n"
                                         "<3> Invalid action received: -2\n"
                                         "<3> Invalid action received: -2147483648\n"
                                         "<3> Invalid action received: 2147483647\n"
                                         "<3> Invalid action received: 1145258561\n"
                                         "<3> Read Error: Success\n"
                                         "<3> Read Error: Success\n"
                                         "<3> Read Error: Success\n"
                                         "<3> Read Error: Success\n"
                                         "<3> Read Error: Resource temporarily unavailable\n";
    EXPECT_EQ(result.err, bad_client_lines + bad_client_lines);
}

} // namespace
