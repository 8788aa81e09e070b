// SPDX-License-Identifier: MIT
// What the tests that run the real handler, `vornic -s`, share: a shell fragment that starts it
// under a generous timeout (so that a handler that hangs fails its test rather than stalling
// the suite), and the accessory they configure.
#pragma once

#include <string>
#include <vector>

// Starts `vornic -s` in the background as $HANDLER, its output in /run/handler.out and
// /run/handler.err, and waits for its "Waiting for commands" line. finish() waits for it,
// copies its stdout and stderr to the script's, and exits with its status: 124 when the
// timeout had to end it.
inline const std::string start_handler = R"sh(
    # A second start in one script must not take the first handler's output for its own.
    rm -f /run/handler.out /run/handler.err
    timeout 120 "$VORNIC" -s >/run/handler.out 2>/run/handler.err & HANDLER=$!
    until grep -qs '^<6> Waiting for commands' /run/handler.out ||
          ! kill -0 $HANDLER 2>/dev/null; do
        sleep 0.01
    done
    executed() { grep -c 'Action executed' /run/handler.out || true; }
    finish() { wait $HANDLER; status=$?; cat /run/handler.out; cat /run/handler.err >&2
               exit $status; }
)sh";

// An accessory that takes every step of an action, and both follow-ups.
inline const std::string accessory_config = R"({"vornic": {
    "sync_irlight": true, "trigger_mic_swap": true,
    "set_gpio": ["acc_power"],
    "bind_devices": ["/sys/bus/platform/drivers/mic/mic0",
                     "/sys/bus/platform/drivers/mic/mic1"],
    "unbind_devices": ["/sys/bus/platform/drivers/mic/mic0",
                       "/sys/bus/platform/drivers/mic/mic1"],
    "startstop_services": ["audiod", "streamd"],
    "reload_services": ["eventd"]}})";

// What one re-attach of that accessory asks of the simulated camera with its defaults.
inline const std::vector<std::string> accessory_reattach = {
    "sysfs: write /sys/class/gpio/acc_power/value \"1\"",
    "bus: StopService(\"streamd\")",
    "bus: StopService(\"audiod\")",
    "sysfs: write /sys/bus/platform/drivers/mic/unbind \"mic0\"",
    "sysfs: write /sys/bus/platform/drivers/mic/unbind \"mic1\"",
    "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic0\"",
    "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic1\"",
    "bus: ReloadService(\"eventd\")",
    "bus: StartService(\"audiod\")",
    "bus: StartService(\"streamd\")",
    "bus: GetStatus(0)",
    "bus: AbsoluteRoll(1, 0)",
    "bus: GetDayNight()",
    "ir: sync_irlight_ircut.sh ir_filter_on"};
