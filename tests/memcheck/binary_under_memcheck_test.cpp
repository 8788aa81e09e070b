// The real binary, built as shipped, under valgrind's memcheck in the simulated camera: any
// invalid access, use of an uninitialised value, or block definitely or indirectly lost fails
// the case. The sanitizer build runs every other test for invalid accesses and leaks; what it
// cannot see is an uninitialised value, so this runs the longest road through the program
// once. Slow, so built apart and labelled "valgrind".
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

TEST(Memcheck, ClientsAndSocketActivatedHandlerThroughAReattach) {
    // Detach and attach merge into one re-attach with both follow-ups: the handler's longest
    // road, and the client's.
    SandboxOutcome result = Sandbox{.config = full_config}.shell(memcheck + R"sh(
        systemd-socket-activate -l /run/vornic.socket "${VG[@]}" "$VORNIC" -s \
            >/dev/null 2>/run/handler.err & ACTIVATOR=$!
        await_socket
        vg detach && vg attach
        wait $ACTIVATOR; echo "handler: $?"
        grep -v -e '^Listening on' -e '^Communication attempt' -e '^Execing' /run/handler.err >&2
        true)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "handler: 0\n");
    EXPECT_EQ(result.err, "");
    // Every step reached the platform, the IR script through an untraced shell.
    EXPECT_EQ(lines_starting(result.log, "sysfs: write /sys/bus/platform/drivers/mic/").size(), 4u)
        << result.log;
    EXPECT_EQ(lines_starting(result.log, "bus: AbsoluteRoll").size(), 1u) << result.log;
    EXPECT_EQ(lines_starting(result.log, "ir: ").size(), 1u) << result.log;
    expect_clean(result, 3);
}

} // namespace
