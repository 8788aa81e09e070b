// Many clients against the real handler, which serves them one at a time from a backlog of
// zero: a burst in which every client must get its code through, and a trickle that keeps the
// handler waiting long; either must come out as the one action the merge table gives.
#include "stress/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string mic = "/sys/bus/platform/drivers/mic/";

const std::string config = R"({"vornic": {
    "set_gpio": ["acc_power"],
    "bind_devices": [")" + mic + R"(mic0"],
    "unbind_devices": [")" + mic + R"(mic0"],
    "startstop_services": ["audiod"]}})";

// What the one re-attach these tests expect asks of the platform.
const std::vector<std::string> reattach_calls = {
    "sysfs: write /sys/class/gpio/acc_power/value \"1\"", "bus: StopService(\"audiod\")",
    "sysfs: write " + mic + "unbind \"mic0\"", "sysfs: write " + mic + "bind \"mic0\"",
    "bus: StartService(\"audiod\")"};

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
    SandboxOutcome result = Sandbox{.config = config, .sysfs_args = {"--all-bound"}}.shell(
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
    EXPECT_EQ(platform_calls(result.log), reattach_calls);
}

TEST(Load, ClientsKeepingTheHandlerWaitingPastTheBusHandshakeAllowanceStillGetTheAction) {
    // The bus daemon drops a connection that has not completed its handshake within 30
    // seconds. Here the first call on the handler's connection comes at least 41 seconds
    // after it was opened: eleven codes three seconds apart, then the quiet period.
    SandboxOutcome result = Sandbox{.config = config, .sysfs_args = {"--all-bound"}}.shell(
        start_handler + R"sh(
        "$VORNIC" detach
        for i in {1..10}; do sleep 3; "$VORNIC" attach; done
        echo "actions while clients kept coming: $(executed)"
        finish)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(lines_starting(result.out, "actions"),
              std::vector<std::string>{"actions while clients kept coming: 0"});
    EXPECT_EQ(platform_calls(result.log), reattach_calls);
}

} // namespace
