// The sandbox itself: it leaves nothing behind on the host, --no-bus really has no bus, the IR
// script does what it is told, and the platform simulator outlives nothing it depends on.
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

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

TEST(Sandbox, NoBusMeansNoSystemBusEvenWithTheHostAddressSet) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/run/dbus/system_bus_socket", 1);
    SandboxOutcome result = Sandbox{.no_bus = true}.shell(R"sh(
        echo "address: ${DBUS_SYSTEM_BUS_ADDRESS-unset}"
        [ -e /run/dbus/system_bus_socket ] && echo "socket exists"
        for comm in /proc/[0-9]*/comm; do { read -r name <"$comm"; } 2>/dev/null && echo "$name"; done |
            grep -x -e dbus-daemon -e vornic-platform
        busctl --system list >/dev/null 2>&1 || echo "busctl failed"
    )sh");
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    EXPECT_EQ(result.out, "address: unset\nbusctl failed\n");
    EXPECT_EQ(lines_starting(result.log, "bus: "), std::vector<std::string>{});
}

TEST(Sandbox, IrScriptLogsItsArgumentsAndExitsWithTheScriptedStatus) {
    SandboxOutcome scripted = Sandbox{.ir_exit = 3}.shell(
        "/usr/bin/sync_irlight_ircut.sh 1 night; echo $?; /usr/bin/sync_irlight_ircut.sh");
    EXPECT_EQ(scripted.out, "3\n");
    EXPECT_EQ(scripted.status, 3);
    EXPECT_EQ(lines_starting(scripted.log, "ir: "),
              (std::vector<std::string>{"ir: sync_irlight_ircut.sh 1 night",
                                        "ir: sync_irlight_ircut.sh"}));

    SandboxOutcome absent = Sandbox{.ir_exit = std::nullopt}.shell(
        "[ -e /usr/bin/sync_irlight_ircut.sh ] || echo absent");
    EXPECT_EQ(absent.out, "absent\n");
}

TEST(Sandbox, PlatformSimulatorEndsCleanlyWhenTheBusGoesAway) {
    SandboxOutcome result = Sandbox{}.shell(R"sh(
        find_process() {
            for dir in /proc/[0-9]*; do
                { read -r name <"$dir/comm"; } 2>/dev/null && [ "$name" = "$1" ] && echo "${dir#/proc/}"
            done
        }
        kill "$(find_process dbus-daemon)"
        for _ in $(seq 100); do
            [ -z "$(find_process vornic-platform)" ] && { echo "simulator gone"; exit; }
            sleep 0.05
        done
    )sh");
    EXPECT_EQ(result.out, "simulator gone\n");
    // The sandbox reports a simulator that exits with a failure or a signal.
    EXPECT_EQ(result.err, "");
}

} // namespace
