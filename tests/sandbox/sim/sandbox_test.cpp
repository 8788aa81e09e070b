// SPDX-License-Identifier: MIT
// The sandbox itself: the tests run as root, so it must leave nothing behind on the host.
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

TEST(Sandbox, LeavesNoFileAndNoProcessOnTheHost) {
    std::string name = "vornic-sandbox-probe-" + std::to_string(getpid());
    SandboxOutcome result = Sandbox{}.shell("touch /run/" + name + " /usr/" + name +
                                            " /usr/share/vornic/" + name + R"sh(
        (exec -a )sh" + name + R"sh( sleep 60) &
        trap '' TERM; (trap '' TERM; exec -a )sh" + name + R"sh( sleep 61) &
        exit 7)sh");
    EXPECT_EQ(result.status, 7);
    for (const std::string& path : {"/run/" + name, "/usr/" + name, "/usr/share/vornic/" + name})
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
    // By command line: namespace inode numbers are reused as soon as a namespace is gone. The
    // bracket keeps the search's own shell from matching; the first search shows it can find.
    std::string search = "pgrep -f '[v]ornic_sandbox_tests' >/dev/null && ! pgrep -f '[v]" +
                         name.substr(1) + "' >/dev/null";
    EXPECT_EQ(std::system(search.c_str()), 0);
}

} // namespace
