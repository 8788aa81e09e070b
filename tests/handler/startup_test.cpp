// SPDX-License-Identifier: MIT
// The handler's start-up through the real binary: the socket it listens on (passed by socket
// activation or made by hand), the signal state it inherits, stops during the quiet period,
// and every reason it refuses to start.
#include "stress/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

TEST(HandlerStartup, SocketActivatedHandlerMakesDetachAndAttachOneReattach) {
    // The accessory is attached at the start. The IR script first counts the sockets it
    // inherited: the listener, a client's connection or the bus must not reach it.
    SandboxOutcome result =
        Sandbox{.config = accessory_config, .sysfs_args = {"--all-bound"}}.shell(R"sh(
        mv /usr/bin/sync_irlight_ircut.sh /usr/bin/ir-script
        printf '%s\n' '#!/bin/sh' \
            'held=$(ls -l /proc/$$/fd | grep -c socket:)' \
            'echo "sockets held by the IR script: $held" >/run/ir.fds' \
            'exec /usr/bin/ir-script "$@"' >/usr/bin/sync_irlight_ircut.sh
        chmod 0755 /usr/bin/sync_irlight_ircut.sh
        systemd-socket-activate -l /run/vornic.socket "$VORNIC" -s \
            >/run/handler.out 2>/dev/null & ACTIVATOR=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        before=$(stat -c %i /run/vornic.socket)
        "$VORNIC" detach && "$VORNIC" attach
        wait $ACTIVATOR; status=$?
        grep -e Waiting -e Carrying /run/handler.out
        [ "$(stat -c %i /run/vornic.socket)" = "$before" ] && echo "same socket file"
        cat /run/ir.fds
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "<6> Waiting for commands with 8 seconds timeout\n"
                          "<6> Carrying out reattach (merged from detach, attach)\n"
                          "same socket file\n"
                          "sockets held by the IR script: 0\n");
    EXPECT_EQ(platform_calls(result.log), accessory_reattach);
}

TEST(HandlerStartup, HandStartedHandlerReplacesStaleFileAndShedsInheritedSignalState) {
    // A plain file, and a socket file whose listener has gone. The handler starts with SIGCHLD
    // ignored, and with its output on a pipe whose reader goes away after the first line.
    for (std::string leftover :
         {"echo stale > /run/vornic.socket",
          R"sh("$ACCEPT_ONCE" /run/vornic.socket >/dev/null & LISTENER=$!
               until [ -S /run/vornic.socket ]; do sleep 0.01; done
               kill $LISTENER; wait $LISTENER)sh"}) {
        SCOPED_TRACE(leftover);
        SandboxOutcome result = Sandbox{.config = accessory_config}.shell(leftover + R"sh(
            mkfifo /run/output
            ( trap '' CHLD; exec "$VORNIC" -s >/run/output 2>/run/handler.err ) & HANDLER=$!
            exec 4</run/output; read -r waiting <&4; exec 4<&-
            stat -c '%F %a' /run/vornic.socket
            "$VORNIC" reattach
            wait $HANDLER; echo "handler: $?"
            cat /run/handler.err >&2)sh");
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "socket 711\nhandler: 0\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(platform_calls(result.log), accessory_reattach);
    }
}

TEST(HandlerStartup, StopDuringTheQuietPeriodNamesTheActionNotCarriedOut) {
    // As a service manager stops a unit: SIGTERM, or SIGINT or SIGHUP. Background jobs of a
    // script start with SIGINT ignored, which the handler must not inherit.
    SandboxOutcome result = Sandbox{.config = accessory_config}.shell(R"sh(
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

struct Refusal {
    Sandbox sandbox;
    std::string script;
    std::string out;
    std::string err;
};

TEST(HandlerStartup, RefusalToStartIsStatusOneWithItsReason) {
    const Refusal refusals[] = {
        // Two sockets passed by socket activation.
        {Sandbox{.config = accessory_config}, R"sh(
            systemd-socket-activate -l /run/vornic.socket -l /run/second.socket "$VORNIC" -s \
                2>/run/activator.err & ACTIVATOR=$!
            until [ -S /run/second.socket ]; do sleep 0.01; done
            "$RAW_CLIENT" /run/vornic.socket 02000000
            wait $ACTIVATOR; status=$?
            grep -v -e '^Listening on' -e '^Communication attempt' -e '^Execing' \
                /run/activator.err >&2
            exit $status)sh",
         "", "<3> Too many file descriptors received\n"},
        // /run read-only, in a mount namespace of the handler's own.
        {Sandbox{.config = accessory_config}, R"sh(
            unshare --mount --propagation private -- \
                sh -c 'mount -t tmpfs -o ro read-only /run && exec "$0" -s' "$VORNIC")sh",
         "", "<3> bind(listen_fd): Read-only file system\n"},
        // The listener takes one connection and prints what came on it: the client's code
        // alone shows that the handler did not connect to find out.
        {Sandbox{.config = accessory_config}, R"sh(
            exec 3< <("$ACCEPT_ONCE" /run/vornic.socket); read -r listening <&3
            "$VORNIC" -s; status=$?
            "$VORNIC" reattach
            read -r -t 5 received <&3; echo "listener received $received"
            exit $status)sh",
         "listener received 02000000\n",
         "<3> Another process is listening on /run/vornic.socket: not replacing it\n"},
        // Opening a FIFO to read it would wait for a writer.
        {Sandbox{}, R"sh(
            mkfifo /usr/share/vornic/vornic.json
            timeout 10 "$VORNIC" -s)sh",
         "", "<4> Failed to read file: /usr/share/vornic/vornic.json\n"
         "<3> Failed to get configuration\n"},
        // Before its waiting line: no client is taken in that could not be served.
        {Sandbox{.config = accessory_config, .no_bus = true}, R"sh(
            "$VORNIC" -s)sh",
         "", "<3> Failed to connect to system bus: No such file or directory\n"
         "<1> Unable to handle Vornic actions: DBUS connection error\n"},
        // A bus daemon that takes the connection in but never answers holds the handshake for
        // the call bound at most.
        {Sandbox{.config = accessory_config}, R"sh(
            kill -STOP "$(cat /run/sandbox/dbus.pid)"
            SECONDS=0
            "$VORNIC" -s; status=$?
            [ $SECONDS -le 27 ] && echo "ended within the bound"
            kill -CONT "$(cat /run/sandbox/dbus.pid)"
            exit $status)sh",
         "ended within the bound\n", "<3> Failed to connect to system bus: Connection timed out\n"
         "<1> Unable to handle Vornic actions: DBUS connection error\n"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.script);
        SandboxOutcome result = refusal.sandbox.shell(refusal.script);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, refusal.out);
        EXPECT_EQ(result.err, refusal.err);
    }
}

} // namespace
