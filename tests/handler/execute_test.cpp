// The runner of the execution sequence against the simulated platform: each kind of step
// reaches the platform as it should, the state test ends an action in place, and a failing
// step ends the sequence. Which steps an action takes is pinned in-process by plan_test.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string probe = PROBE_BINARY;

const std::string mic = "/sys/bus/platform/drivers/mic/";
const std::string spk = "/sys/bus/platform/drivers/spk/";

// Two GPIOs, three microphones to bind, one speaker to unbind, two start/stop services.
const std::string full_config = R"({"vornic": {
    "sync_irlight": true, "trigger_mic_swap": true,
    "set_gpio": ["acc_power", "acc_reset"],
    "bind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1", ")" + mic + R"(mic2"],
    "unbind_devices": [")" + spk + R"(spk0"],
    "startstop_services": ["audiod", "streamd"],
    "reload_services": ["eventd"]}})";

// The calls the platform saw, without their results: "bus: StopService(\"audiod\")".
std::vector<std::string> calls(const std::string& log) {
    std::vector<std::string> result;
    for (std::string line : lines_starting(log, "")) {
        if (line.starts_with("sysfs: ready"))
            continue;
        result.push_back(line.substr(0, line.find(" -> ")));
    }
    return result;
}

SandboxOutcome execute(const std::string& action, Sandbox sandbox) {
    return sandbox.run({probe, "execute", action});
}

std::string gpio(const std::string& name, const char* value) {
    return "sysfs: write /sys/class/gpio/" + name + "/value \"" + value + "\"";
}
std::string driver(const std::string& dir, const char* attribute, const std::string& device) {
    return "sysfs: write " + dir + attribute + " \"" + device + "\"";
}
std::string bus(const std::string& call) { return "bus: " + call; }

TEST(ExecuteAction, AttachRunsEveryStepInOrder) {
    SandboxOutcome result = execute("attach", {.config = full_config});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "<6> Setting GPIOs...\n"
                          "<6> Stopping services...\n"
                          "<6> Binding drivers...\n"
                          "<6> Reloading services...\n"
                          "<6> Starting services...\n"
                          "<6> IR lights status synchronized with DayNight filter\n"
                          "<6> Action executed successfully\n");
    EXPECT_EQ(calls(result.log),
              (std::vector<std::string>{
                  gpio("acc_power", "1"), gpio("acc_reset", "1"), bus("StopService(\"streamd\")"),
                  bus("StopService(\"audiod\")"), driver(mic, "bind", "mic0"),
                  driver(mic, "bind", "mic1"), driver(mic, "bind", "mic2"),
                  bus("ReloadService(\"eventd\")"), bus("StartService(\"audiod\")"),
                  bus("StartService(\"streamd\")"), bus("GetStatus(0)"), bus("AbsoluteRoll(1, 0)"),
                  bus("GetDayNight()"), "ir: sync_irlight_ircut.sh ir_filter_on"}));
}

TEST(ExecuteAction, DevicesAlreadyInPlaceLeaveOnlyTheGpios) {
    SandboxOutcome attach =
        execute("attach", {.config = full_config, .sysfs_args = {"--all-bound"}});
    EXPECT_EQ(attach.status, 0);
    EXPECT_EQ(attach.out, "<6> Setting GPIOs...\n"
                          "<6> Device state matches the requested action, nothing to do\n");
    EXPECT_EQ(calls(attach.log), (std::vector<std::string>{gpio("acc_power", "1"),
                                                           gpio("acc_reset", "1")}));

    SandboxOutcome detach = execute("detach", {.config = full_config});
    EXPECT_EQ(detach.status, 0);
    EXPECT_EQ(detach.out, "<6> Setting GPIOs...\n"
                          "<6> Device state matches the requested action, nothing to do\n");
    EXPECT_EQ(calls(detach.log), (std::vector<std::string>{gpio("acc_power", "0"),
                                                           gpio("acc_reset", "0")}));
}

TEST(ExecuteAction, FailedStartRequestsRebootUnlessForbidden) {
    // The failed call's own lines are the service-control client's, pinned in its tests.
    const std::vector<std::string> fail_start = {"--fail=StartService:streamd=unit failed"};

    SandboxOutcome reboot =
        execute("attach", {.config = full_config, .platform_args = fail_start});
    EXPECT_EQ(reboot.status, 1);
    EXPECT_TRUE(reboot.out.ends_with("<6> Starting services...\n"
                                     "<6> Action failed, resorting to reboot...\n"))
        << reboot.out;
    std::vector<std::string> seen = calls(reboot.log);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - 2], bus("StartService(\"streamd\")"));
    EXPECT_EQ(seen.back(), bus("Reboot()"));

    std::string never_reboot = full_config;
    never_reboot.insert(never_reboot.find('{', 1) + 1, R"("never_reboot": true,)");
    SandboxOutcome kept =
        execute("attach", {.config = never_reboot, .platform_args = fail_start});
    EXPECT_EQ(kept.status, 1);
    EXPECT_TRUE(kept.out.ends_with("<6> Starting services...\n")) << kept.out;
    EXPECT_EQ(calls(kept.log).back(), bus("StartService(\"streamd\")"));
}

TEST(ExecuteAction, FailedUnbindWriteIsPassedOver) {
    SandboxOutcome result = execute(
        "detach", {.config = R"({"vornic": {
                       "unbind_devices": [")" + spk + R"(spk0", ")" + mic + R"(mic0"],
                       "reload_services": ["eventd"]}})",
                   .sysfs_args = {"--all-bound", "--fail-write", spk + "unbind"}});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(calls(result.log),
              (std::vector<std::string>{driver(spk, "unbind", "spk0"),
                                        driver(mic, "unbind", "mic0"),
                                        bus("ReloadService(\"eventd\")")}));
}

TEST(ExecuteAction, FailedGpioNamesItsStateAndStopsTheRest) {
    const std::string config = R"({"vornic": {"never_reboot": true,
                                   "set_gpio": ["acc_power", "acc_reset"]}})";
    for (auto [action, word] : {std::pair{"attach", "active"}, {"detach", "inactive"}}) {
        SCOPED_TRACE(action);
        SandboxOutcome result =
            execute(action, {.config = config, .sysfs_args = {"--fail-gpio", "acc_power"}});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, std::string("<3> Failed to set GPIO acc_power to ") + word +
                                  ": Input/output error\n");
        EXPECT_EQ(calls(result.log).size(), 1u) << result.log;
    }

    // A name too long for any GPIO the kernel names fails the action before any write.
    SandboxOutcome too_long = execute(
        "attach", {.config = R"({"vornic": {"never_reboot": true, "set_gpio": [")" +
                             std::string(233, 'x') + R"("]}})"});
    EXPECT_EQ(too_long.status, 1);
    EXPECT_EQ(too_long.err, "");
    EXPECT_EQ(calls(too_long.log), std::vector<std::string>{});
}

} // namespace
