// The handler through the real binary: socket activation, a socket made by hand, a bad
// configuration, and the whole story of an accessory removed and attached again. Each run
// waits out the real 8-second quiet period, so these are few and run in parallel.
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

const std::string mic = "/sys/bus/platform/drivers/mic/";

const std::string config = R"({"vornic": {
    "set_gpio": ["acc_power"],
    "bind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
    "unbind_devices": [")" + mic + R"(mic0", ")" + mic + R"(mic1"],
    "startstop_services": ["audiod", "streamd"]}})";

// What a re-attach with that configuration asks of the platform.
const std::vector<std::string> reattach_calls = {
    "sysfs: write /sys/class/gpio/acc_power/value \"1\"",
    "bus: StopService(\"streamd\")",
    "bus: StopService(\"audiod\")",
    "sysfs: write " + mic + "unbind \"mic0\"",
    "sysfs: write " + mic + "unbind \"mic1\"",
    "sysfs: write " + mic + "bind \"mic0\"",
    "sysfs: write " + mic + "bind \"mic1\"",
    "bus: StartService(\"audiod\")",
    "bus: StartService(\"streamd\")"};

TEST(HandlerStartup, SocketActivationUsesThePassedSocket) {
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        systemd-socket-activate -l /run/vornic.socket "$VORNIC" -s \
            >/run/handler.out 2>/dev/null & ACTIVATOR=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        before=$(stat -c %i /run/vornic.socket)
        "$VORNIC" reattach
        wait $ACTIVATOR; status=$?
        cat /run/handler.out
        [ "$(stat -c %i /run/vornic.socket)" = "$before" ] && echo "same socket file"
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(lines_starting(result.out, "<6> Waiting"),
              std::vector<std::string>{"<6> Waiting for commands with 8 seconds timeout"});
    EXPECT_EQ(lines_starting(result.out, "same"), std::vector<std::string>{"same socket file"});
    EXPECT_EQ(platform_calls(result.log), reattach_calls);
}

TEST(HandlerStartup, TwoPassedSocketsAreRefused) {
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        systemd-socket-activate -l /run/vornic.socket -l /run/second.socket "$VORNIC" -s \
            2>/run/activator.err & ACTIVATOR=$!
        until [ -S /run/second.socket ]; do sleep 0.01; done
        "$RAW_CLIENT" /run/vornic.socket 02000000
        wait $ACTIVATOR; status=$?
        grep -v -e '^Listening on' -e '^Communication attempt' -e '^Execing' /run/activator.err >&2
        exit $status)sh");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "<3> Too many file descriptors received\n");
}

TEST(HandlerStartup, SocketSetUpFailureIsAnErrorLine) {
    // /run read-only, in a mount namespace of the handler's own.
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        unshare --mount --propagation private -- \
            sh -c 'mount -t tmpfs -o ro read-only /run && exec "$0" -s' "$VORNIC")sh");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "<3> bind(listen_fd): Read-only file system\n");
}

TEST(HandlerStartup, HandStartedHandlerReplacesStaleFileWithOwnerOnlySocket) {
    // A plain file, and a socket file whose listener has gone.
    for (std::string leftover :
         {"echo stale > /run/vornic.socket",
          R"sh("$ACCEPT_ONCE" /run/vornic.socket >/dev/null & LISTENER=$!
               until [ -S /run/vornic.socket ]; do sleep 0.01; done
               kill $LISTENER; wait $LISTENER)sh"}) {
        SCOPED_TRACE(leftover);
        SandboxOutcome result = Sandbox{.config = config}.shell(leftover + R"sh(
            "$VORNIC" -s >/run/handler.out & HANDLER=$!
            until grep -qs Waiting /run/handler.out; do sleep 0.01; done
            stat -c '%F %a' /run/vornic.socket
            "$VORNIC" reattach
            wait $HANDLER)sh");
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "socket 711\n");
        EXPECT_EQ(platform_calls(result.log), reattach_calls);
    }
}

TEST(HandlerStartup, HandStartedHandlerLeavesALiveSocketAlone) {
    // The listener takes one connection and prints what came on it: the client's code alone
    // shows that the handler did not connect to find out.
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        exec 3< <("$ACCEPT_ONCE" /run/vornic.socket); read -r listening <&3
        before=$(stat -c %i /run/vornic.socket)
        "$VORNIC" -s; echo "handler: $?"
        [ "$(stat -c %i /run/vornic.socket)" = "$before" ] && echo "same socket file"
        "$VORNIC" reattach
        read -r -t 5 received <&3; echo "listener received $received")sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "handler: 1\nsame socket file\nlistener received 02000000\n");
    EXPECT_EQ(result.err, "<3> Another process is listening on /run/vornic.socket: not "
                          "replacing it\n");
}

TEST(HandlerStartup, StopDuringTheQuietPeriodNamesTheActionNotCarriedOut) {
    // As a service manager stops a unit: SIGTERM, or SIGINT or SIGHUP. Background jobs of a
    // script start with SIGINT ignored, which the handler must not inherit.
    SandboxOutcome result = Sandbox{.config = config}.shell(R"sh(
        stop() {
            rm -f /run/handler.out
            "$VORNIC" -s >/run/handler.out & HANDLER=$!
            until grep -qs Waiting /run/handler.out; do sleep 0.01; done
            [ -z "$2" ] || { "$VORNIC" $2; sleep 0.5; }
            kill -s $1 $HANDLER; wait $HANDLER; echo "$1 ${2:-nothing}: $?"
        }
        stop TERM detach; stop INT attach; stop HUP attach; stop TERM)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "TERM detach: 1\nINT attach: 1\nHUP attach: 1\nTERM nothing: 0\n");
    EXPECT_EQ(result.err,
              "<4> Stopped by signal 15 (Terminated) while detach was pending: it is not "
              "carried out\n"
              "<4> Stopped by signal 2 (Interrupt) while attach was pending: it is not "
              "carried out\n"
              "<4> Stopped by signal 1 (Hangup) while attach was pending: it is not "
              "carried out\n");
    EXPECT_EQ(platform_calls(result.log), std::vector<std::string>{});
}

TEST(HandlerStartup, InheritedSignalStateDoesNotStopOrFailTheAction) {
    // Started with SIGCHLD ignored, and with its output on a pipe whose reader goes away
    // after the first line.
    SandboxOutcome result =
        Sandbox{.config = R"({"vornic": {"sync_irlight": true, "startstop_services": ["audiod"]}})"}
            .shell(R"sh(
        mkfifo /run/output
        ( trap '' CHLD; exec "$VORNIC" -s >/run/output 2>/run/handler.err ) & HANDLER=$!
        exec 4</run/output; read -r waiting <&4; exec 4<&-
        "$VORNIC" attach
        wait $HANDLER; echo "handler: $?"
        cat /run/handler.err >&2)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "handler: 0\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(platform_calls(result.log),
              (std::vector<std::string>{"bus: StopService(\"audiod\")",
                                        "bus: StartService(\"audiod\")", "bus: GetDayNight()",
                                        "ir: sync_irlight_ircut.sh ir_filter_on"}));
}

TEST(HandlerStartup, ConfigurationThatIsNoRegularFileIsRefusedAtOnce) {
    // Opening a FIFO to read it would wait for a writer.
    SandboxOutcome result = Sandbox{}.shell(R"sh(
        mkfifo /usr/share/vornic/vornic.json
        timeout 10 "$VORNIC" -p; echo "print: $?"
        timeout 10 "$VORNIC" -s; echo "handler: $?")sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "print: 1\nhandler: 1\n");
    EXPECT_EQ(result.err, "<4> Failed to read file: /usr/share/vornic/vornic.json\n"
                          "Failed to get configuration\n"
                          "<4> Failed to read file: /usr/share/vornic/vornic.json\n"
                          "<3> Failed to get configuration\n");
}

TEST(HandlerStartup, InvalidConfigurationEndsTheRunButKeepsTheSocket) {
    SandboxOutcome result = Sandbox{.config = R"({"vornic": {"never_reboot": "yes"}})"}.shell(R"sh(
        "$VORNIC" -s; status=$?
        [ -S /run/vornic.socket ] && echo "socket file remains"
        exit $status)sh");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "socket file remains\n");
    EXPECT_EQ(result.err, "<3> Invalid value for 'never_reboot', expected a boolean.\n"
                          "<3> Failed to get configuration\n");
}

TEST(HandlerStartup, AccessoryRemovedAndAttachedAgainIsOneReattach) {
    // The accessory is attached at the start: its drivers bound, its GPIO high.
    SandboxOutcome result = Sandbox{.config = config, .sysfs_args = {"--all-bound"}}.shell(R"sh(
        printf 1 > /sys/class/gpio/acc_power/value
        systemd-socket-activate -l /run/vornic.socket "$VORNIC" -s \
            >/dev/null 2>&1 & ACTIVATOR=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        "$VORNIC" detach && "$VORNIC" attach && echo "clients done"
        wait $ACTIVATOR; status=$?
        echo "gpio $(cat /sys/class/gpio/acc_power/value)"
        echo "bound $(ls /sys/bus/platform/drivers/mic/ | grep -v bind | tr '\n' ' ')"
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "clients done\ngpio 1\nbound mic0 mic1 \n");
    // The script's own write of the GPIO comes first.
    std::vector<std::string> calls = reattach_calls;
    calls.insert(calls.begin(), calls.front());
    EXPECT_EQ(platform_calls(result.log), calls);
    EXPECT_NE(result.state.find("service audiod running"), std::string::npos) << result.state;
    EXPECT_NE(result.state.find("service streamd running"), std::string::npos) << result.state;
}

TEST(HandlerStartup, AttachEndsWithRollThenIrLightsAndTheScriptHoldsNoActionSocket) {
    SandboxOutcome result =
        Sandbox{.config = R"({"vornic": {"sync_irlight": true, "trigger_mic_swap": true,
                                         "startstop_services": ["audiod"]}})",
                .platform_args = {"--roll=300", "--daynight=night"}}
            .shell(R"sh(
        # The IR script first counts the descriptors it inherited that are sockets bound to
        # the action socket's path (the listener, or a client's connection).
        mv /usr/bin/sync_irlight_ircut.sh /usr/bin/ir-script
        printf '%s\n' '#!/bin/sh' \
            'held=0' \
            'for inode in $(awk '\''$8 == "/run/vornic.socket" { print $7 }'\'' /proc/net/unix); do' \
            '    for fd in /proc/$$/fd/*; do' \
            '        [ "$(readlink $fd)" = "socket:[$inode]" ] && held=$((held + 1))' \
            '    done' \
            'done' \
            'echo "action sockets held by the IR script: $held" >/run/ir.fds' \
            'exec /usr/bin/ir-script "$@"' >/usr/bin/sync_irlight_ircut.sh
        chmod 0755 /usr/bin/sync_irlight_ircut.sh
        "$VORNIC" -s >/dev/null & HANDLER=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        "$VORNIC" attach
        wait $HANDLER; status=$?
        cat /run/ir.fds
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "action sockets held by the IR script: 0\n");
    EXPECT_EQ(lines_starting(result.log, "bus: "),
              (std::vector<std::string>{
                  "bus: StopService(\"audiod\") -> ok", "bus: StartService(\"audiod\") -> ok",
                  "bus: GetStatus(0) -> (\"camera\", \"1920x1080\", \"normal\", \"ok\", 0, 0, 300)",
                  "bus: AbsoluteRoll(1, -60) -> ok", "bus: GetDayNight() -> \"night\""}));
    // The IR script is the last thing the platform sees.
    EXPECT_EQ(lines_starting(result.log, "").back(), "ir: sync_irlight_ircut.sh ir_filter_off");
}

} // namespace
