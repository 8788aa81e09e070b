// SPDX-License-Identifier: MIT
// The reboot budget on the simulated camera: a failed action requests the reboot and counts
// it while the count is within the bound, and otherwise says why it does not; a success
// resets the count; the handler's first run in a boot after such a reboot says so.
#include "handler/reboot_guard.h"
#include "handler/reboot_record.h"

#include "support/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string state_dir = STATE_DIR;
const std::string earlier_boot = "0b2e7c55-8a9d-4f3e-b1c2-6d5e4f3a2b19";
const std::string bound = std::to_string(REBOOT_BOUND);
const std::string spent_record = "reboots " + bound + "\nrequested-in " + earlier_boot + "\n";

// Seeds the record (when the row has one), carries out `action` with every device bound, and
// hands the record back as the file "record" ("none" when there is no file).
std::string script(const std::string& seed, const std::string& action) {
    return "dir=" + state_dir + "\n" + seed + "\n\"$PROBE\" execute " + action + R"sh(; status=$?
        cat "$dir/reboots" >/run/sandbox/out/record 2>/dev/null ||
            printf none >/run/sandbox/out/record
        exit $status)sh";
}
std::string seed(const std::string& record) {
    return "printf '%s' '" + record + "' >\"$dir/reboots\"";
}

const std::string start_fails = "--fail=StartService:audiod=not now";
const std::string starting_failed = "<3> Failed to call action: StartService(audiod): not now\n"
                                    "<3> Failed to execute service audiod with action "
                                    "StartService: Input/output error\n";

struct Row {
    const char* name;
    std::string seed;        // shell lines run before the action
    bool fails;              // StartService fails
    std::string alert;       // expected after the step's own errors; empty: none
    bool reboot_requested;
    std::string record_after; // "this boot" stands for the boot id
    const char* action = "reattach";
};

const Row rows[] = {
    {"the first failure requests a reboot and counts it", "", true, "", true,
     "reboots 1\nrequested-in this boot\n"},
    {"past the bound, the failure says so and does not reboot", seed(spent_record), true,
     "<1> Action failed at starting services, and the reboot budget is spent (" + bound +
         " reboots in a row without a successful action): not rebooting\n",
     false, spent_record},
    {"a damaged record errs on the side of not rebooting", seed("reboots"), true,
     "<1> Action failed at starting services, and the reboot count in " + state_dir +
         " cannot be read: not rebooting: Bad message\n",
     false, "reboots"},
    {"a count that cannot be kept: no reboot",
     "mkdir \"$dir/reboots.new\"", true,
     "<1> Action failed at starting services, and the reboot cannot be counted in " +
         state_dir + ": not rebooting: Is a directory\n",
     false, "none"},
    {"a success resets the count", seed(spent_record), false, "", false, "reboots 0\n"},
    {"so does an attach with nothing to do", seed(spent_record), false, "", false,
     "reboots 0\n", "attach"},
};

TEST(RebootGuard, FailedActionRebootsOnlyWithinTheBound) {
    if (REBOOT_BOUND == 0)
        GTEST_SKIP() << "this build never reboots";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Sandbox sandbox = {.config = accessory_config, .sysfs_args = {"--all-bound"}};
        if (row.fails)
            sandbox.platform_args = {start_fails};
        SandboxOutcome result = sandbox.shell(script(row.seed, row.action));
        EXPECT_EQ(result.status, row.fails ? 1 : 0);
        EXPECT_EQ(result.err, row.fails ? starting_failed + row.alert : "");
        std::vector<std::string> calls = platform_calls(result.log);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "bus: Reboot()"),
                  row.reboot_requested ? 1 : 0);
        std::string expected = row.record_after;
        if (size_t at = expected.find("this boot"); at != std::string::npos)
            expected.replace(at, 9, read_boot_id(BOOT_ID_PATH));
        EXPECT_EQ(result.files["record"], expected);
    }
}

// Two handler runs in one boot whose actions fail with the budget spent: the first says that
// the boot follows a requested reboot, the second does not say it again.
TEST(RebootGuard, FirstHandlerRunOfABootAfterARequestedRebootSaysSo) {
    std::string one_run = start_handler + R"sh(
        "$VORNIC" reattach
        wait $HANDLER; echo "status $?"; cat /run/handler.err)sh";
    SandboxOutcome result =
        Sandbox{.config = accessory_config, .platform_args = {start_fails},
                .sysfs_args = {"--all-bound"}}
            .shell("printf '%s' '" + spent_record + "' >" + state_dir + "/reboots\n" + one_run +
                   one_run);
    std::string alert = "<1> Action failed at starting services, and the reboot budget is spent";
    EXPECT_EQ(lines_starting(result.out, "status "),
              (std::vector<std::string>{"status 1", "status 1"}));
    EXPECT_EQ(lines_starting(result.out, "<4>"),
              std::vector<std::string>{"<4> This boot follows a reboot requested after a failed "
                                       "action (" + bound + " in a row, at most " + bound + ")"});
    EXPECT_EQ(lines_starting(result.out, alert).size(), 2u) << result.out;
    std::vector<std::string> calls = platform_calls(result.log);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "bus: StartService(\"audiod\")"), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "bus: Reboot()"), 0);
}

} // namespace
