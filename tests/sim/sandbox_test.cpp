// The sandbox itself: it leaves nothing behind on the host, --no-bus really has no bus, the IR
// script does what it is told, and the platform simulator outlives nothing it depends on.
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Host processes whose namespace link (/proc/PID/ns/KIND) reads `link`.
int processes_in(const std::string& kind, const std::string& link) {
    int count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::error_code error;
        fs::path target = fs::read_symlink(entry.path() / "ns" / kind, error);
        if (!error && target.string() == link)
            count++;
    }
    return count;
}

TEST(Sandbox, LeavesNoFileAndNoProcessOnTheHost) {
    std::string name = "vornic-sandbox-probe-" + std::to_string(getpid());
    SandboxOutcome result = Sandbox{}.shell(R"sh(
        touch /run/)sh" + name + " /usr/" + name +
                                            R"sh( /usr/share/vornic/)sh" + name + R"sh(
        readlink /proc/self/ns/pid /proc/self/ns/mnt
        sleep 60 &
        trap '' TERM; (trap '' TERM; exec sleep 61) &
        exit 7
    )sh");
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.err, "");
    for (const std::string& path : {"/run/" + name, "/usr/" + name, "/usr/share/vornic/" + name})
        EXPECT_FALSE(fs::exists(path)) << path;

    std::istringstream links(result.out);
    std::string pid_namespace, mount_namespace;
    ASSERT_TRUE(links >> pid_namespace >> mount_namespace) << result.out;
    EXPECT_TRUE(pid_namespace.starts_with("pid:[")) << pid_namespace;
    // The search does find the processes of a namespace that has some: this one.
    EXPECT_GE(processes_in("pid", fs::read_symlink("/proc/self/ns/pid")), 1);
    EXPECT_EQ(processes_in("pid", pid_namespace), 0);
    EXPECT_EQ(processes_in("mnt", mount_namespace), 0);
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
