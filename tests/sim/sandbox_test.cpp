// The sandbox itself: the tests run as root, so it must leave nothing behind on the host.
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// Host processes whose command line mentions `marker`. (Namespace inode numbers are reused
// as soon as a namespace is gone, so they cannot tell this run's leftovers from the processes
// of a sandbox that another test started since.)
int processes_mentioning(const std::string& marker) {
    int count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::ifstream file(entry.path() / "cmdline", std::ios::binary);
        std::string cmdline((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (cmdline.find(marker) != std::string::npos)
            count++;
    }
    return count;
}

TEST(Sandbox, LeavesNoFileAndNoProcessOnTheHost) {
    std::string name = "vornic-sandbox-probe-" + std::to_string(getpid());
    SandboxOutcome result = Sandbox{}.shell(R"sh(
        touch /run/)sh" + name + " /usr/" + name +
                                            R"sh( /usr/share/vornic/)sh" + name + R"sh(
        (exec -a )sh" + name + R"sh(-sleeper sleep 60) &
        trap '' TERM; (trap '' TERM; exec -a )sh" + name + R"sh(-stubborn sleep 61) &
        exit 7
    )sh");
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.err, "");
    for (const std::string& path : {"/run/" + name, "/usr/" + name, "/usr/share/vornic/" + name})
        EXPECT_FALSE(fs::exists(path)) << path;

    // The search does find a process by its command line: this one.
    EXPECT_GE(processes_mentioning("vornic_sandbox_tests"), 1);
    EXPECT_EQ(processes_mentioning(name), 0);
}

} // namespace
