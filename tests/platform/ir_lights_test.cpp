// IR light synchronisation against the simulated optics service and IR script.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string probe = PROBE_BINARY;

struct Synced {
    std::string out;
    std::string err;
    std::vector<std::string> ir;
};

Synced sync(Sandbox sandbox) {
    SandboxOutcome result = sandbox.run({probe, "ir-lights"});
    return {result.out, result.err, lines_starting(result.log, "ir: ")};
}

const std::vector<std::string> filter_on = {"ir: sync_irlight_ircut.sh ir_filter_on"};
const std::vector<std::string> filter_off = {"ir: sync_irlight_ircut.sh ir_filter_off"};

TEST(IrLights, OnlyExactlyNightTurnsTheFilterOff) {
    Synced night = sync({.platform_args = {"--daynight=night"}});
    EXPECT_EQ(night.out, "status 0\n");
    EXPECT_EQ(night.err, "");
    EXPECT_EQ(night.ir, filter_off);

    for (const char* state : {"day", "Night", "night ", ""}) {
        SCOPED_TRACE(std::string("state '") + state + "'");
        Synced other = sync({.platform_args = {std::string("--daynight=") + state}});
        EXPECT_EQ(other.out, "status 0\n");
        EXPECT_EQ(other.ir, filter_on);
    }
}

TEST(IrLights, AbsentOpticsServiceStillRunsTheScript) {
    Synced result = sync({.platform_args = {"--absent=optics"}, .ir_exit = 3});
    EXPECT_EQ(result.out, "status 3\n");
    EXPECT_EQ(result.err, "<3> Failed to get DayNight filter state The name com.norv.Optics2 "
                          "was not provided by any .service files\n");
    EXPECT_EQ(result.ir, filter_on);
}

TEST(IrLights, StateThatIsNotAStringCountsAsDay) {
    Synced result = sync({.platform_args = {"--daynight=night", "--daynight-reply=mistyped"}});
    EXPECT_EQ(result.out, "status 0\n");
    EXPECT_TRUE(result.err.starts_with("<3> Failed to read DayNight filter state "))
        << result.err;
    EXPECT_EQ(result.ir, filter_on);
}

TEST(IrLights, NoSystemBusStillRunsTheScript) {
    Synced result = sync({.no_bus = true});
    EXPECT_EQ(result.out, "status 0\n");
    EXPECT_EQ(result.err, "<3> Failed to connect to system bus: No such file or directory\n");
    EXPECT_EQ(result.ir, filter_on);
}

TEST(IrLights, FailingScriptIsLoggedWithoutFailingTheAction) {
    SandboxOutcome result = Sandbox{.config = R"({"vornic": {"sync_irlight": true}})",
                                    .ir_exit = 3}
                                .run({probe, "execute", "attach"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "<3> Failed to synchronize IR lights with DayNight filter\n");
}

} // namespace
