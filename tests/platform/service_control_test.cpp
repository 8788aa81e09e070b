// Service-control calls against the simulated platform: order, failure in the middle of a
// run, replies that carry values.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string probe = PROBE_BINARY;

std::vector<std::string> bus_calls(const std::string& log) {
    return lines_starting(log, "bus: ");
}

TEST(ServiceControl, StopRunsLastToFirstStartAndReloadFirstToLast) {
    SandboxOutcome result = Sandbox{}.shell(R"sh(
        "$PROBE" services StopService -r S1 S2 S3
        "$PROBE" services StartService S1 S2 S3
        "$PROBE" services ReloadService S1 S2 S3
        "$PROBE" services StopService -r only)sh");
    EXPECT_EQ(result.out, "result 0\nresult 0\nresult 0\nresult 0\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(bus_calls(result.log),
              (std::vector<std::string>{
                  "bus: StopService(\"S3\") -> ok", "bus: StopService(\"S2\") -> ok",
                  "bus: StopService(\"S1\") -> ok", "bus: StartService(\"S1\") -> ok",
                  "bus: StartService(\"S2\") -> ok", "bus: StartService(\"S3\") -> ok",
                  "bus: ReloadService(\"S1\") -> ok", "bus: ReloadService(\"S2\") -> ok",
                  "bus: ReloadService(\"S3\") -> ok", "bus: StopService(\"only\") -> ok"}));
    EXPECT_NE(result.state.find("service S1 running"), std::string::npos) << result.state;
}

TEST(ServiceControl, FailureStopsTheRunAtThatService) {
    SandboxOutcome result =
        Sandbox{.platform_args = {"--fail=StopService:S2=S2 is busy"}}.run(
            {probe, "services", "StopService", "-r", "S1", "S2", "S3"});
    // The platform's error has no errno of its own, so sd-bus reports it as EIO.
    EXPECT_EQ(result.out, "result -5\n");
    EXPECT_EQ(result.err, "<3> Failed to call action: StopService(S2): S2 is busy\n"
                          "<3> Failed to execute service S2 with action StopService: "
                          "Input/output error\n");
    EXPECT_EQ(bus_calls(result.log),
              (std::vector<std::string>{"bus: StopService(\"S3\") -> ok",
                                        "bus: StopService(\"S2\") -> error "
                                        "com.norv.Error.Failed: S2 is busy"}));
}

TEST(ServiceControl, ReplyCarryingValuesIsSuccess) {
    SandboxOutcome result = Sandbox{.platform_args = {"--control-reply-value=queued"}}.run(
        {probe, "services", "StartService", "S1"});
    EXPECT_EQ(result.out, "result 0\n");
    EXPECT_EQ(bus_calls(result.log),
              std::vector<std::string>{"bus: StartService(\"S1\") -> \"queued\""});
}

} // namespace
