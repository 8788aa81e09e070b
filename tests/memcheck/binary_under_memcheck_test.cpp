// The real binary under valgrind's memcheck in the simulated camera, through each role and the
// handler's ways of ending: any invalid access, use of an uninitialised value, or block
// definitely or indirectly lost fails the case. Slow, so built apart and labelled "valgrind".
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

// `vg ARGS...` runs the binary under memcheck ("${VG[@]}" "$VORNIC" ARGS... where it must be
// exec'd), with one log per process in the sandbox's out directory. The handler's children
// (the IR script's shell) are not traced: from fork to exec they run under valgrind, but
// log nothing.
const std::string memcheck = R"sh(
    VG=()sh" VALGRIND_BINARY R"sh( --tool=memcheck --error-exitcode=97 --leak-check=full
        --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
        --child-silent-after-fork=yes --vgdb=no --log-file=/run/sandbox/out/memcheck.%p.log)
    vg() { "${VG[@]}" "$VORNIC" "$@"; }
    await_socket() { until [ -S /run/vornic.socket ]; do sleep 0.05; done; }
)sh";

// Each of `runs` traced processes left a log that ends in a clean summary.
void expect_clean(const SandboxOutcome& result, size_t runs) {
    const std::regex lost(R"((definitely|indirectly) lost: ([0-9,]+) bytes)");
    size_t logs = 0;
    for (const auto& [name, log] : result.files) {
        if (!name.starts_with("memcheck."))
            continue;
        logs++;
        SCOPED_TRACE(name);
        EXPECT_NE(log.find("ERROR SUMMARY: 0 errors from 0 contexts"), std::string::npos)
            << log;
        for (std::sregex_iterator match(log.begin(), log.end(), lost), end; match != end;
             ++match)
            EXPECT_EQ((*match)[2].str(), "0") << log;
    }
    EXPECT_EQ(logs, runs) << "memcheck logs";
}

const std::string mic = "/sys/bus/platform/drivers/mic/";

// Every step and both follow-ups.
const std::string full_config = R"({"vornic": {
    "sync_irlight": true, "trigger_mic_swap": true,
    "set_gpio": ["acc_power"],
    "bind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
    "unbind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
    "startstop_services": ["audiod", "streamd"],
    "reload_services": ["eventd"]}})";

const std::string waiting = "<6> Waiting for commands with 8 seconds timeout\n";
// A re-attach of `full_config`, follow-ups included.
const std::string reattach = "<6> Setting GPIOs...\n"
                             "<6> Stopping services...\n"
                             "<6> Re-Binding drivers...\n"
                             "<6> Reloading services...\n"
                             "<6> Starting services...\n"
                             "<6> IR lights status synchronized with DayNight filter\n"
                             "<6> Action executed successfully\n";

TEST(Memcheck, ClientSubmitsOrReportsWhyNot) {
    SandboxOutcome result = Sandbox{}.shell(memcheck + R"sh(
        vg attach; echo "no handler: $?"
        exec 3< <("$ACCEPT_ONCE" /run/vornic.socket); read -r ready <&3
        vg detach; echo "submitted: $?"; echo "received $(cat <&3)"
        vg Attach >/dev/null; echo "unknown word: $?")sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "no handler: 1\nsubmitted: 0\nreceived 01000000\nunknown word: 1\n");
    EXPECT_EQ(result.err, "<3> Unable to connect to Action Handler: No such file or directory\n"
                          "Invalid action: 'Attach'\n");
    expect_clean(result, 3);
}

TEST(Memcheck, PrinterWithValidInvalidAndMissingConfiguration) {
    SandboxOutcome result = Sandbox{.config = full_config}.shell(memcheck + R"sh(
        vg -p -h >/dev/null; echo "valid: $?"
        config=/usr/share/vornic/vornic.json
        printf '%s' '{"vornic": {"set_gpio": ["a"], "unbind_devices": [["/e/f"]]}}' >$config
        vg -p; echo "invalid list: $?"
        printf '{"vornic": {' >$config
        vg -p; echo "not JSON: $?"
        rm $config
        vg -p; echo "missing: $?")sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "valid: 0\ninvalid list: 1\nnot JSON: 1\nmissing: 1\n");
    EXPECT_EQ(result.err, "<3> Invalid unbind_devices array in configuration.\n"
                          "Failed to get configuration\n"
                          "<4> Failed to allocate the root JSON object: "
                          "'string or '}' expected near end of file'\n"
                          "Failed to get configuration\n"
                          "<4> File '/usr/share/vornic/vornic.json' not found\n"
                          "Failed to get configuration\n");
    expect_clean(result, 4);
}

TEST(Memcheck, HandlerWithoutClientsEndsAfterTheQuietPeriod) {
    SandboxOutcome result = Sandbox{.config = full_config}.shell(memcheck + "vg -s");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, waiting);
    expect_clean(result, 1);
}

TEST(Memcheck, HandlerCarriesOutReattachWithFollowUps) {
    SandboxOutcome result = Sandbox{.config = full_config}.shell(memcheck + R"sh(
        vg -s >/run/handler.out & HANDLER=$!
        await_socket
        vg reattach; echo "client: $?"
        wait $HANDLER; echo "handler: $?"; cat /run/handler.out)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "client: 0\nhandler: 0\n" + waiting + reattach);
    EXPECT_EQ(result.err, "");
    // The follow-ups reached the platform, the IR script through an untraced shell.
    EXPECT_EQ(lines_starting(result.log, "bus: AbsoluteRoll").size(), 1u) << result.log;
    EXPECT_EQ(lines_starting(result.log, "ir: ").size(), 1u) << result.log;
    expect_clean(result, 2);
}

TEST(Memcheck, SocketActivatedHandlerMergesCodesUntilQuiet) {
    // An invalid code is logged, then detach and attach merge into one re-attach.
    SandboxOutcome result = Sandbox{.config = full_config}.shell(memcheck + R"sh(
        systemd-socket-activate -l /run/vornic.socket "${VG[@]}" "$VORNIC" -s \
            >/run/handler.out 2>/run/handler.err & ACTIVATOR=$!
        await_socket
        "$RAW_CLIENT" /run/vornic.socket 03000000
        "$VORNIC" detach && "$VORNIC" attach
        wait $ACTIVATOR; echo "handler: $?"; cat /run/handler.out
        grep -v -e '^Listening on' -e '^Communication attempt' -e '^Execing' /run/handler.err >&2
        true)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "handler: 0\n" + waiting + reattach);
    EXPECT_EQ(result.err, "<3> Invalid action received: 3\n");
    expect_clean(result, 1);
}

TEST(Memcheck, HandlerFailingStepAsksForReboot) {
    Sandbox failing{.config = full_config,
                    .platform_args = {"--fail=StopService:audiod=audiod is stuck"}};
    SandboxOutcome result = failing.shell(memcheck + R"sh(
        vg -s >/run/handler.out & HANDLER=$!
        await_socket
        "$VORNIC" reattach
        wait $HANDLER; echo "handler: $?"; cat /run/handler.out)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "handler: 1\n" + waiting +
                              "<6> Setting GPIOs...\n"
                              "<6> Stopping services...\n"
                              "<6> Action failed, resorting to reboot...\n");
    EXPECT_EQ(result.err,
              "<3> Failed to call action: StopService(audiod): audiod is stuck\n"
              "<3> Failed to execute service audiod with action StopService: Input/output error\n");
    EXPECT_EQ(lines_starting(result.log, "bus: Reboot").size(), 1u) << result.log;
    expect_clean(result, 1);
}

TEST(Memcheck, HandlerEndsWithoutBusOrWithBadConfiguration) {
    Sandbox no_bus{.config = full_config, .no_bus = true};
    SandboxOutcome without_bus = no_bus.shell(memcheck + "vg -s");
    EXPECT_EQ(without_bus.status, 1);
    EXPECT_EQ(without_bus.err, "<3> Failed to connect to system bus: No such file or directory\n"
                               "<1> Unable to handle Vornic actions: DBUS connection error\n");
    expect_clean(without_bus, 1);

    SandboxOutcome bad_config =
        Sandbox{.config = R"({"vornic": {"set_gpio": [1]}})"}.shell(memcheck + "vg -s");
    EXPECT_EQ(bad_config.status, 1);
    EXPECT_EQ(bad_config.err, "<3> Invalid set_gpio array in configuration.\n"
                              "<3> Failed to get configuration\n");
    expect_clean(bad_config, 1);
}

TEST(Memcheck, HandlerGoesOnAfterAClientWithoutCode) {
    SandboxOutcome result = Sandbox{.config = full_config}.shell(memcheck + R"sh(
        vg -s >/run/handler.out & HANDLER=$!
        await_socket
        "$VORNIC" detach; "$RAW_CLIENT" /run/vornic.socket ""; "$VORNIC" attach
        wait $HANDLER; echo "handler: $?"; cat /run/handler.out)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "handler: 0\n" + waiting + reattach);
    EXPECT_EQ(result.err, "<3> Read Error: Success\n");
    expect_clean(result, 1);
}

} // namespace
