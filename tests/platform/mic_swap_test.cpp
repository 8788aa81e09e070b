// The microphone swap against the simulated camera-view service: the roll angle read back,
// folded and sent again, and what a broken or missing service leads to.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string probe = PROBE_BINARY;

SandboxOutcome swap(std::vector<std::string> platform_args) {
    return Sandbox{.platform_args = std::move(platform_args)}.run({probe, "mic-swap"});
}

std::vector<std::string> roll_requests(const SandboxOutcome& result) {
    return lines_starting(result.log, "bus: AbsoluteRoll");
}

TEST(MicSwap, RollAngleIsSentBackFolded) {
    // The fold itself is tested cell by cell in roll_angle_test.
    SandboxOutcome result = swap({"--roll=359.9"});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(roll_requests(result), std::vector<std::string>{"bus: AbsoluteRoll(1, -1) -> ok"});
}

TEST(MicSwap, AbsentServiceIsSilentAndNoBusOnlyReportsTheConnection) {
    SandboxOutcome absent = swap({"--absent=camview"});
    EXPECT_EQ(absent.err, "");
    EXPECT_EQ(lines_starting(absent.log, "bus: "), std::vector<std::string>{});

    SandboxOutcome no_bus = Sandbox{.no_bus = true}.run({probe, "mic-swap"});
    EXPECT_EQ(no_bus.status, 0);
    EXPECT_EQ(no_bus.err, "<3> Failed to connect to system bus: No such file or directory\n");
}

TEST(MicSwap, MalformedStatusSendsNoRollRequest) {
    SandboxOutcome short_reply = swap({"--status-reply=short"});
    EXPECT_EQ(short_reply.err, "<3> Failed to read roll angle in reply\n");
    EXPECT_EQ(roll_requests(short_reply), std::vector<std::string>{});

    SandboxOutcome mistyped = swap({"--status-reply=mistyped"});
    EXPECT_EQ(mistyped.err, "<3> Failed to skip parameters in reply\n");
    EXPECT_EQ(roll_requests(mistyped), std::vector<std::string>{});
}

TEST(MicSwap, RefusedRollRequestIsOnlyAWarning) {
    SandboxOutcome result =
        Sandbox{.config = R"({"vornic": {"trigger_mic_swap": true}})",
                .platform_args = {"--fail=AbsoluteRoll=view is locked"}}
            .run({probe, "execute", "reattach"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "<4> Failed to trigger chain of events for swapping mics.\n");
}

} // namespace
