// SPDX-License-Identifier: MIT
// The handler's start-up through the real binary: the socket it listens on (passed by socket
// activation or made by hand), the signal state it inherits, stops during the quiet period,
// and every reason it refuses to start.
#include "support/handler_run.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

namespace {

TEST(HandlerStartup, SocketActivatedHandlerMakesDetachAndAttachOneReattach) {
    // The accessory is attached at the start. The status lines go to a notification socket as
    // systemd's would show them. The IR script, the action's last step, first
    // lists what it inherited beyond the standard descriptors (the file the shell reads it
    // from aside) and its signal state, then what the handler holds at that point.
    SandboxOutcome result =
        Sandbox{.config = accessory_config, .sysfs_args = {"--all-bound"}}.shell(R"sh(
        mv /usr/bin/sync_irlight_ircut.sh /usr/bin/ir-script
        cat >/usr/bin/sync_irlight_ircut.sh <<'SCRIPT'
#!/bin/sh
echo "script:"; ls -l /proc/$$/fd; grep -E '^Sig(Blk|Ign)' /proc/$$/status
echo "handler:"; ls -l /proc/$PPID/fd
exec /usr/bin/ir-script "$@"
SCRIPT
        chmod 0755 /usr/bin/sync_irlight_ircut.sh
        # What the service manager would show: each status the handler sends.
        systemd-socket-activate --datagram -l /run/notify \
            sh -c 'exec timeout 60 cat <&3 >/run/notify.log' 2>/dev/null & NOTIFIED=$!
        until [ -S /run/notify ]; do sleep 0.01; done
        # Started as a shell starts a background job: with SIGINT and SIGQUIT ignored.
        systemd-socket-activate -E NOTIFY_SOCKET=/run/notify -l /run/vornic.socket "$VORNIC" -s \
            >/run/handler.out 2>/dev/null & ACTIVATOR=$!
        until [ -S /run/vornic.socket ]; do sleep 0.01; done
        before=$(stat -c %i /run/vornic.socket)
        "$VORNIC" detach && "$VORNIC" attach
        wait $ACTIVATOR; status=$?
        sleep 0.1; kill $NOTIFIED
        sed 's/STATUS=/\n/g; s/[0-9][0-9]:[0-9][0-9]:[0-9][0-9]/HH:MM:SS/g' /run/notify.log |
            tail -n +2
        echo
        grep -e Waiting -e Carrying /run/handler.out
        [ "$(stat -c %i /run/vornic.socket)" = "$before" ] && echo "same socket file"
        # Written there by the IR script; its own file aside, which the shell reads.
        awk '/^[a-z]*:$/ { part = $1 } part == "script:" && NF >= 11 && $(NF-2) > 2 &&
            $NF != "/usr/bin/sync_irlight_ircut.sh" { print "the IR script inherited", $(NF-2),
            $NF }' /run/handler.out
        # Of the signals 1 to 31: the C library keeps two of its own above them.
        grep '^Sig' /run/handler.out | while read -r name mask; do
            printf '%s %x\n' "$name" $((0x$mask & 0x7fffffff))
        done
        awk '/^[a-z]*:$/ { part = $1 } part == "handler:" && NF >= 11 {
            sub(/:.*/, "", $NF); print "the handler holds", $NF }' /run/handler.out |
            sort | uniq -c
        exit $status)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string carrying = "Carrying out reattach";
    EXPECT_EQ(result.out, "Waiting for commands\n"
                          "detach pending, to be carried out at HH:MM:SS unless another code "
                          "comes\n"
                          "reattach (merged from detach, attach) pending, to be carried out at "
                          "HH:MM:SS unless another code comes\n" +
                          carrying + " (merged from detach, attach)\n" +
                          carrying + ": setting GPIOs\n" +
                          carrying + ": stopping services\n" +
                          carrying + ": unbinding drivers\n" +
                          carrying + ": binding drivers\n" +
                          carrying + ": reloading services\n" +
                          carrying + ": starting services\n" +
                          carrying + ": re-applying the roll angle\n" +
                          carrying + ": synchronizing the IR lights\n" +
                          carrying + ": done\n"
                          "<6> Waiting for commands with 8 seconds timeout\n"
                          "<6> Carrying out reattach (merged from detach, attach)\n"
                          "same socket file\n"
                          "SigBlk: 0\nSigIgn: 0\n"
                          // Standard streams, the action socket and the bus, and the
                          // signalfds of the wait and of the IR script.
                          "      2 the handler holds /dev/null\n"
                          "      1 the handler holds /run/handler.out\n"
                          "      2 the handler holds anon_inode\n"
                          "      2 the handler holds socket\n");
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
            grep Umask /proc/$HANDLER/status
            "$VORNIC" reattach
            wait $HANDLER; echo "handler: $?"
            cat /run/handler.err >&2)sh");
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "socket 711\nUmask:\t0066\nhandler: 0\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(platform_calls(result.log), accessory_reattach);
    }
}

TEST(HandlerStartup, StopDuringTheQuietPeriodLeavesTheActionToTheNextRun) {
    // Killed, as the kernel's out-of-memory killer does, or stopped as a service manager stops
    // a unit: SIGTERM, or SIGINT or SIGHUP. Background jobs of a script start with SIGINT
    // ignored, which the handler must not inherit. Each run takes on what the one before it
    // left, and merges its own client's code into it.
    SandboxOutcome result = Sandbox{.config = accessory_config}.shell(R"sh(
        stop() {
            rm -f /run/handler.out
            "$VORNIC" -s >/run/handler.out & HANDLER=$!
            until grep -qs Waiting /run/handler.out; do sleep 0.01; done
            [ -z "$2" ] || { "$VORNIC" $2; sleep 0.5; }
            kill -s $1 $HANDLER; { wait $HANDLER; } 2>/dev/null; echo "$1 ${2:-nothing}: $?"
        }
        stop KILL detach; stop TERM attach; stop INT attach; stop HUP attach
        cut -d' ' -f1,2 /run/vornic/interrupted
        "$VORNIC" -s >/dev/null; echo "next run: $?"
        [ -e /run/vornic/interrupted ] || echo "nothing left"
        stop TERM
        # Where it cannot be recorded, the action is lost, and the stop says so.
        mount -t tmpfs -o ro read-only /run/vornic
        stop TERM attach)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "KILL detach: 137\nTERM attach: 0\nINT attach: 0\nHUP attach: 0\n"
                          "reattach pending\n"
                          "next run: 0\nnothing left\nTERM nothing: 0\nTERM attach: 1\n");
    EXPECT_EQ(result.err,
              "<5> Carrying on with the detach that an earlier run left pending\n"
              "<5> Stopped by signal 15 (Terminated) while reattach was pending: the next run "
              "carries it out\n"
              "<5> Carrying on with the reattach that an earlier run left pending\n"
              "<5> Stopped by signal 2 (Interrupt) while reattach was pending: the next run "
              "carries it out\n"
              "<5> Carrying on with the reattach that an earlier run left pending\n"
              "<5> Stopped by signal 1 (Hangup) while reattach was pending: the next run "
              "carries it out\n"
              "<5> Carrying on with the reattach that an earlier run left pending\n"
              "<4> Unable to record the pending attach in /run/vornic: Read-only file system\n"
              "<4> Stopped by signal 15 (Terminated) while attach was pending: it is not "
              "carried out\n");
    EXPECT_EQ(platform_calls(result.log), accessory_reattach);
}

TEST(HandlerStartup, RunKilledInTheMiddleOfAnActionIsFinishedByTheNextRun) {
    // Killed while the services are being started again: the devices are bound already, and
    // only carrying out the whole attach again, without the state test, starts the services.
    // A record of another boot is let go: a reboot has ended whatever it names.
    SandboxOutcome result =
        Sandbox{.config = accessory_config, .platform_args = {"--delay=StartService=2000"}}
            .shell(R"sh(
        "$VORNIC" -s >/run/first.out & HANDLER=$!
        until grep -qs Waiting /run/first.out; do sleep 0.01; done
        "$VORNIC" attach
        until grep -qs Starting /run/first.out; do sleep 0.01; done
        sleep 0.5; kill -KILL $HANDLER; { wait $HANDLER; } 2>/dev/null; echo "first run: $?"
        cut -d' ' -f1,2 /run/vornic/interrupted
        "$VORNIC" -s | grep -e Carrying -e successfully; echo "next run: ${PIPESTATUS[0]}"
        echo "attach pending 00000000-0000-0000-0000-000000000000" >/run/vornic/interrupted
        "$VORNIC" -s; echo "after another boot's record: $?"
        [ -e /run/vornic/interrupted ] || echo "nothing left")sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "first run: 137\nattach begun\n"
                          "<6> Carrying out attach\n<6> Action executed successfully\n"
                          "next run: 0\n"
                          "<6> Waiting for commands with 8 seconds timeout\n"
                          "after another boot's record: 0\nnothing left\n");
    EXPECT_EQ(result.err, "<5> Carrying on with the attach that an earlier run left half done\n");
    std::vector<std::string> first = {
        "sysfs: write /sys/class/gpio/acc_power/value \"1\"",
        "bus: StopService(\"streamd\")",
        "bus: StopService(\"audiod\")",
        "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic0\"",
        "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic1\"",
        "bus: ReloadService(\"eventd\")",
        "bus: StartService(\"audiod\")"};
    std::vector<std::string> calls = first;
    calls.insert(calls.end(), first.begin(), first.begin() + 3);
    calls.insert(calls.end(), accessory_reattach.end() - 7, accessory_reattach.end());
    EXPECT_EQ(platform_calls(result.log), calls);
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
