// SPDX-License-Identifier: MIT
// The IR light synchronisation and the microphone swap against the simulated optics and
// camera-view services: what each asks of the platform, and what a broken, missing or
// refusing service leads to. The service-control calls are pinned with the action runner.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string filter_on = "ir: sync_irlight_ircut.sh ir_filter_on";
const std::string filter_off = "ir: sync_irlight_ircut.sh ir_filter_off";

struct Row {
    const char* probe; // "ir-lights" prints the script's status; "mic-swap" prints nothing
    Sandbox sandbox;
    std::string out;
    std::string err;
    std::vector<std::string> calls;
};

const Row rows[] = {
    {"ir-lights", {.platform_args = {"--daynight=night"}}, "status 0\n", "",
     {"bus: GetDayNight()", filter_off}},
    // Only exactly "night" turns the filter off.
    {"ir-lights", {.platform_args = {"--daynight=night "}}, "status 0\n", "",
     {"bus: GetDayNight()", filter_on}},
    // The script still runs when the state cannot be had, and its exit status comes back.
    {"ir-lights", {.platform_args = {"--absent=optics"}, .ir_exit = 3}, "status 3\n",
     "<3> Failed to get DayNight filter state The name com.norv.Optics2 was not provided by "
     "any .service files\n",
     {filter_on}},
    // The roll angle is sent back folded (the fold itself is roll_angle_test's).
    {"mic-swap", {.platform_args = {"--roll=359.9"}}, "", "",
     {"bus: GetStatus(0)", "bus: AbsoluteRoll(1, -1)"}},
    // Without the service there is nothing to swap, and nothing worth a line.
    {"mic-swap", {.platform_args = {"--absent=camview"}}, "", "", {}},
    {"mic-swap", {.platform_args = {"--status-reply=short"}}, "",
     "<3> Failed to read roll angle in reply\n", {"bus: GetStatus(0)"}},
    {"mic-swap", {.platform_args = {"--status-reply=mistyped"}}, "",
     "<3> Failed to skip parameters in reply\n", {"bus: GetStatus(0)"}},
};

TEST(BusClients, WhatEachAsksOfThePlatformAndWhatItReports) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.probe + testing::PrintToString(row.sandbox.platform_args));
        SandboxOutcome result = row.sandbox.run({PROBE_BINARY, row.probe});
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(platform_calls(result.log), row.calls);
    }
}

TEST(BusClients, DayNightStateThatIsNotAStringCountsAsDay) {
    SandboxOutcome result =
        Sandbox{.platform_args = {"--daynight=night", "--daynight-reply=mistyped"}}.run(
            {PROBE_BINARY, "ir-lights"});
    EXPECT_EQ(result.out, "status 0\n");
    // The rest of the line is whatever errno the bus library left.
    EXPECT_TRUE(result.err.starts_with("<3> Failed to read DayNight filter state ")) << result.err;
    EXPECT_EQ(lines_starting(result.log, "ir: "), std::vector<std::string>{filter_on});
}

// A script that does not end by itself, or that a signal ended, is a failure: never the
// "success" that the status byte of a signalled shell reads as.
TEST(BusClients, IrScriptThatHangsOrIsKilledFails) {
    struct Ending {
        const char* script;
        std::string out;
        std::string err;
    };
    const Ending endings[] = {
        // Stopped after 20 seconds; the sleep it leaves in the background ignores SIGTERM.
        {R"(trap "" TERM; sleep 1000 &\nexec sleep 1001\n)",
         "status 255\nleft running: 0\nstopped after 20 s: yes\n",
         "<3> IR script still running after 20 seconds, stopped\n"},
        // Its whole process group, the shell that runs it included.
        {R"(kill -KILL 0\n)", "status 137\nleft running: 0\nstopped after 20 s: no\n",
         "<3> IR script ended by signal 9 (Killed)\n"},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.script);
        SandboxOutcome result = Sandbox{}.shell(std::string(R"sh(
            printf '#!/bin/sh\n)sh") + ending.script + R"sh(' >/usr/bin/sync_irlight_ircut.sh
            SECONDS=0; "$PROBE" ir-lights; took=$SECONDS
            echo "left running: $(pgrep -c -x sleep)"
            [ $took -ge 20 ] && [ $took -le 23 ] && echo "stopped after 20 s: yes" ||
                echo "stopped after 20 s: no")sh");
        EXPECT_EQ(result.out, ending.out);
        EXPECT_EQ(result.err, ending.err);
    }
}

} // namespace

// The script is started itself, without a shell in between that would cost a process start;
// one without a "#!" line still runs, through /bin/sh, and one that cannot be started fails.
TEST(BusClients, IrScriptIsStartedDirectly) {
    struct Case {
        const char* setup;
        std::string out;
        std::string err;
    };
    // The body of each script: it says which process started it, and with what.
    const std::string body = R"sh(
        script=/usr/bin/sync_irlight_ircut.sh
        body() {
            echo 'printf "parent %s, argument %s\n" "$(cat /proc/$PPID/comm)" "$1" >/run/ir.out'
            echo "exit $1"
        })sh";
    const Case cases[] = {
        {"{ echo '#!/bin/sh'; body 4; } >$script", "status 4\nparent probe, argument ir_filter_on\n",
         ""},
        {"body 5 >$script", "status 5\nparent probe, argument ir_filter_on\n", ""},
        {"chmod 0644 $script", "status 255\n",
         "<3> Unable to run the IR script /usr/bin/sync_irlight_ircut.sh: Permission denied\n"},
        {"rm $script", "status 255\n",
         "<3> Unable to run the IR script /usr/bin/sync_irlight_ircut.sh: No such file or "
         "directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        SandboxOutcome result = Sandbox{}.shell(body + "\n" + c.setup + R"sh(
            "$PROBE" ir-lights
            cat /run/ir.out 2>/dev/null || true)sh");
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
}
