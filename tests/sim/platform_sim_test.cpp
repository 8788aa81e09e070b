// The simulated platform services answer as scripted, so that a vornic test passing against
// them means vornic is right: replies, error messages, the log lines and the state file.
#include "support/sandbox.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// Shell functions calling each service with busctl, which takes the method's name, its
// signature and its arguments.
const std::string callers = R"sh(
control() { busctl --system call com.norv.PolicyKitSystem /com/norv/PolicyKitSystem \
    com.norv.PolicyKitSystem "$@"; }
optics() { busctl --system call com.norv.Optics2 /com/norv/Optics0 com.norv.DayNight1 "$@"; }
camview() { busctl --system call com.norv.CamViewSetup.Setup /com/norv/CamViewSetup/Setup \
    com.norv.CamViewSetup.Setup "$@"; }
)sh";

SandboxOutcome on_platform(std::vector<std::string> platform_args, const std::string& script) {
    return Sandbox{.platform_args = std::move(platform_args)}.shell(callers + script);
}

TEST(PlatformSim, ServicesKeepTheirStateAndOnlyTheScriptedCallFails) {
    SandboxOutcome result = on_platform({"--fail", "StartService:streamd=streamd failed to start"},
                                        R"sh(
        control StopService s audiod
        control StopService s streamd
        control StartService s streamd || echo "start streamd: $?"
        control StartService s audiod
        control ReloadService s eventd
        control Reboot
        dbus-send --system --print-reply --dest=com.norv.PolicyKitSystem \
            /com/norv/PolicyKitSystem com.norv.PolicyKitSystem.StartService string:streamd
    )sh");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "start streamd: 1\n");
    EXPECT_EQ(result.err, "Call failed: streamd failed to start\n"
                          "Error com.norv.Error.Failed: streamd failed to start\n");
    EXPECT_EQ(lines_starting(result.log, "bus: "),
              (Lines{"bus: StopService(\"audiod\") -> ok", "bus: StopService(\"streamd\") -> ok",
                     "bus: StartService(\"streamd\") -> error com.norv.Error.Failed: streamd "
                     "failed to start",
                     "bus: StartService(\"audiod\") -> ok", "bus: ReloadService(\"eventd\") -> ok",
                     "bus: Reboot() -> ok",
                     "bus: StartService(\"streamd\") -> error com.norv.Error.Failed: streamd "
                     "failed to start"}));
    EXPECT_EQ(result.state, "roll 0\n"
                            "reboot requested yes\n"
                            "service audiod running\n"
                            "service eventd running\n"
                            "service streamd stopped\n");
}

TEST(PlatformSim, FailureWithoutArgumentFailsEveryCallAndChangesNothing) {
    SandboxOutcome result =
        on_platform({"--fail=StopService=busy", "--fail", "Reboot=no reboot today"},
                    R"sh(
        control StopService s audiod
        control StopService s streamd
        control Reboot
        control StartService s audiod
    )sh");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "Call failed: busy\nCall failed: busy\nCall failed: no reboot today\n");
    EXPECT_EQ(lines_starting(result.log, "bus: ").size(), 4u);
    EXPECT_EQ(result.state, "roll 0\n"
                            "reboot requested no\n"
                            "service audiod running\n");
}

TEST(PlatformSim, ServiceControlRepliesCarryTheScriptedValue) {
    SandboxOutcome result = on_platform({"--control-reply-value", "done"}, R"sh(
        control StopService s audiod
        control Reboot
    )sh");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "s \"done\"\ns \"done\"\n");
    EXPECT_EQ(lines_starting(result.log, "bus: "),
              (Lines{"bus: StopService(\"audiod\") -> \"done\"", "bus: Reboot() -> \"done\""}));
    EXPECT_EQ(result.state, "roll 0\nreboot requested yes\nservice audiod stopped\n");
}

TEST(PlatformSim, DayNightRepliesTheScriptedTextVerbatim) {
    struct Case {
        std::vector<std::string> args;
        std::string reply;
        std::string logged;
    };
    for (const Case& c : {Case{{}, "s \"day\"\n", "\"day\""},
                          Case{{"--daynight", "night "}, "s \"night \"\n", "\"night \""},
                          Case{{"--daynight="}, "s \"\"\n", "\"\""},
                          Case{{"--daynight-reply", "mistyped"}, "i 1\n", "1"}}) {
        SandboxOutcome result = on_platform(c.args, "optics GetDayNight");
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, c.reply);
        EXPECT_EQ(lines_starting(result.log, "bus: "), Lines{"bus: GetDayNight() -> " + c.logged});
    }
}

TEST(PlatformSim, RollAngleIsReportedAndSetPerScript) {
    SandboxOutcome result =
        on_platform({"--roll", "90.4", "--fail", "AbsoluteRoll:2=view 2 has no roll"}, R"sh(
        camview GetStatus i 0
        camview AbsoluteRoll id -- 2 5
        camview AbsoluteRoll id -- 1 -179
        camview GetStatus i 0
    )sh");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "ssssddd \"camera\" \"1920x1080\" \"normal\" \"ok\" 0 0 90.4\n"
                          "ssssddd \"camera\" \"1920x1080\" \"normal\" \"ok\" 0 0 -179\n");
    EXPECT_EQ(result.err, "Call failed: view 2 has no roll\n");
    EXPECT_EQ(lines_starting(result.log, "bus: "),
              (Lines{"bus: GetStatus(0) -> (\"camera\", \"1920x1080\", \"normal\", \"ok\", 0, 0, "
                     "90.4)",
                     "bus: AbsoluteRoll(2, 5) -> error com.norv.Error.Failed: view 2 has no roll",
                     "bus: AbsoluteRoll(1, -179) -> ok",
                     "bus: GetStatus(0) -> (\"camera\", \"1920x1080\", \"normal\", \"ok\", 0, 0, "
                     "-179)"}));
    EXPECT_EQ(result.state, "roll -179\nreboot requested no\n");
}

TEST(PlatformSim, MalformedStatusRepliesHaveTheScriptedShape) {
    SandboxOutcome short_reply = on_platform({"--status-reply", "short"}, "camview GetStatus i 0");
    EXPECT_EQ(short_reply.out, "ssssdd \"camera\" \"1920x1080\" \"normal\" \"ok\" 0 0\n");

    SandboxOutcome mistyped =
        on_platform({"--status-reply", "mistyped", "--roll", "12.5"}, "camview GetStatus i 3");
    EXPECT_EQ(mistyped.out, "ddddssd 0 0 0 0 \"0\" \"0\" 12.5\n");
    EXPECT_EQ(lines_starting(mistyped.log, "bus: "),
              Lines{"bus: GetStatus(3) -> (0, 0, 0, 0, \"0\", \"0\", 12.5)"});
}

TEST(PlatformSim, AbsentServiceIsOffTheBusWhileTheOthersServe) {
    const std::string owners = R"sh(
        for name in com.norv.PolicyKitSystem com.norv.Optics2 com.norv.CamViewSetup.Setup; do
            busctl --system call org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus NameHasOwner s $name
        done
    )sh";
    EXPECT_EQ(on_platform({}, owners).out, "b true\nb true\nb true\n");
    EXPECT_EQ(on_platform({"--absent", "service-control"}, owners).out,
              "b false\nb true\nb true\n");
    EXPECT_EQ(on_platform({"--absent", "optics"}, owners).out, "b true\nb false\nb true\n");
    EXPECT_EQ(on_platform({"--absent", "camview"}, owners).out, "b true\nb true\nb false\n");
}

TEST(PlatformSim, DelayedMethodRepliesOnlyAfterItsDelay) {
    // A caller giving up at 0.1s cannot have the reply delayed by 1.5s; one that waits gets it.
    SandboxOutcome result = on_platform({"--delay", "GetDayNight=1500"}, R"sh(
        busctl --system --timeout=0.1 call com.norv.Optics2 /com/norv/Optics0 \
            com.norv.DayNight1 GetDayNight
        camview GetStatus i 0 >/dev/null
        optics GetDayNight
    )sh");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "s \"day\"\n");
    EXPECT_EQ(result.err, "Call failed: Connection timed out\n");
    // The undelayed GetStatus is answered while both GetDayNight calls wait.
    Lines calls = lines_starting(result.log, "bus: ");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[0].starts_with("bus: GetStatus(0)"));
    EXPECT_EQ(calls[1], "bus: GetDayNight() -> \"day\"");
}

TEST(PlatformSim, ScenarioFileTakesTheSameOptionsAndRejectsUnknownOnes) {
    TempDir dir;
    std::string scenario = dir.write("scenario", "# a night with a stubborn platform\n"
                                                 "--daynight night \n"
                                                 "--fail Reboot=no reboot today\n"
                                                 "--roll=-5\n");
    SandboxOutcome result = on_platform({"--scenario", scenario}, R"sh(
        optics GetDayNight
        camview GetStatus i 0 | grep -o ' [^ ]*$'
        control Reboot
    )sh");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "s \"night \"\n -5\n");
    EXPECT_EQ(result.err, "Call failed: no reboot today\n");

    dir.write("bad", "--roll 1\n--bogus 2\n");
    SandboxOutcome bad = on_platform({"--scenario", dir / "bad"}, "echo ran");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find(dir / "bad" + ":2: unknown option --bogus"), std::string::npos)
        << bad.err;
}

} // namespace
