// SPDX-License-Identifier: MIT
// Many clients against the real handler, which serves them one at a time from a backlog of
// zero: a burst in which every client must get its code through, and which must come out as
// the one action the merge table gives.
#include "support/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

// Under the sanitizers every client costs five times the CPU; a quarter of the burst still
// keeps the instrumented handler busy with a full backlog, in a quarter of the time.
#ifdef __SANITIZE_ADDRESS__
constexpr int burst = 250;
#else
constexpr int burst = 1000;
#endif

TEST(Load, BurstOfClientsInOneQuietPeriodAllGetThroughAndMakeOneReattach) {
    // A detach first, then the rest of the burst, attach and reattach mixed, 50 at a time:
    // enough to keep the backlog full throughout, without starving the tests running beside
    // this one (each waiting client spins on its connect). Whatever order the handler reads
    // them in, the first attach after the detach makes a re-attach, which nothing later
    // changes; a reattach read before it leaves the detach pending.
    SandboxOutcome result = Sandbox{.config = accessory_config, .sysfs_args = {"--all-bound"}}.shell(
        start_handler + R"sh(
        "$VORNIC" detach || echo "detach failed"
        failed=0 clients=()
        for (( i = 1; i < )sh" + std::to_string(burst) + R"sh(; i++ )); do
            if (( ${#clients[@]} == 50 )); then
                wait ${clients[0]} || failed=$((failed + 1))
                clients=("${clients[@]:1}")
            fi
            if (( i % 2 )); then word=attach; else word=reattach; fi
            nice -n 19 "$VORNIC" $word &
            clients+=($!)
        done
        for client in "${clients[@]}"; do wait $client || failed=$((failed + 1)); done
        # The quiet period starts again after every client, so if the handler has read them
        # all, it has not acted yet.
        echo "clients failed: $failed, actions when the last one ended: $(executed)"
        finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(lines_starting(result.out, "clients"),
              std::vector<std::string>{"clients failed: 0, actions when the last one ended: 0"});
    EXPECT_EQ(platform_calls(result.log), accessory_reattach);
}

} // namespace
