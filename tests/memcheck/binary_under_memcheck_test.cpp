// SPDX-License-Identifier: MIT
// The real binary, built as shipped, under valgrind's memcheck in the simulated camera: any
// invalid access, use of an uninitialised value, or block definitely or indirectly lost fails
// the case. The sanitizer build runs every other test for invalid accesses and leaks; what it
// cannot see is an uninitialised value, so this runs the longest road through the program
// once. Slow, so built apart and labelled "valgrind".
#include "support/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

// `vg ARGS...` runs the binary under memcheck ("${VG[@]}" "$VORNIC" ARGS... where it must be
// exec'd), with one log per process in the sandbox's out directory. The handler's children
// (the IR script's shell) are not traced: from fork to exec they run under valgrind, but
// log nothing. A lost block counts as an error.
const std::string memcheck = R"sh(
    VG=()sh" VALGRIND_BINARY R"sh( --tool=memcheck --error-exitcode=97 --leak-check=full
        --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
        --child-silent-after-fork=yes --vgdb=no --log-file=/run/sandbox/out/memcheck.%p.log)
    vg() { "${VG[@]}" "$VORNIC" "$@"; }
)sh";

TEST(Memcheck, ClientsAndSocketActivatedHandlerThroughAReattach) {
    // Detach and attach merge into one re-attach with both follow-ups: the handler's longest
    // road, and the client's.
    SandboxOutcome result = Sandbox{.config = accessory_config}.shell(memcheck + R"sh(
        systemd-socket-activate -l /run/vornic.socket "${VG[@]}" "$VORNIC" -s \
            >/dev/null 2>/run/handler.err & ACTIVATOR=$!
        until [ -S /run/vornic.socket ]; do sleep 0.05; done
        vg detach && vg attach
        wait $ACTIVATOR; echo "handler: $?"
        grep -v -e '^Listening on' -e '^Communication attempt' -e '^Execing' /run/handler.err >&2
        true)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "handler: 0\n");
    EXPECT_EQ(result.err, "");
    // Every step reached the platform, the IR script through an untraced shell.
    EXPECT_EQ(platform_calls(result.log), accessory_reattach);
    // Each traced process left a log that ends in a clean summary.
    size_t logs = 0;
    for (const auto& [name, log] : result.files) {
        if (!name.starts_with("memcheck."))
            continue;
        logs++;
        EXPECT_NE(log.find("ERROR SUMMARY: 0 errors from 0 contexts"), std::string::npos)
            << name << "\n" << log;
    }
    EXPECT_EQ(logs, 3u) << "memcheck logs";
}

} // namespace
