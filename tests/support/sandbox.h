// SPDX-License-Identifier: MIT
// Runs the real vornic binary (or any command) inside the simulated camera's namespace, and
// hands back what the simulated platform saw.
#pragma once

#include "support/process.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline const std::string vornic_binary = VORNIC_BINARY;
inline const std::string accept_once_binary = ACCEPT_ONCE_BINARY;

// What the command did, and what the simulated platform recorded meanwhile.
struct SandboxOutcome : Outcome {
    std::string log;    // the calls to the platform in order: "bus: ", "sysfs: ", "ir: " lines
    // Any other file the command left in /run/sandbox/out, by name: the command's own records.
    std::map<std::string, std::string> files;
};

struct Sandbox {
    // Installed as /usr/share/vornic/vornic.json when set.
    std::optional<std::string> config = {};
    // Passed to vornic-platform-sim and vornic-sysfs-sim, one argument each.
    std::vector<std::string> platform_args = {};
    std::vector<std::string> sysfs_args = {};
    // No dbus-daemon and no platform services: the command finds no system bus.
    bool no_bus = false;
    // The bus's policy as on a stock system bus: signals from anyone, method calls from root.
    bool stock_policy = false;
    // The status /usr/bin/sync_irlight_ircut.sh exits with; unset leaves the script absent.
    std::optional<int> ir_exit = 0;

    // Runs `command` inside the sandbox and returns what it did.
    SandboxOutcome run(const std::vector<std::string>& command) const;
    // Runs a bash script inside the sandbox with $VORNIC naming the binary under test, and
    // $PROBE, $RAW_CLIENT, $FLOOD, $ACCEPT_ONCE, $PLATFORM_SIM the helpers and simulator.
    SandboxOutcome shell(const std::string& script) const;
};

// The lines of `text` that start with `prefix`, in order.
std::vector<std::string> lines_starting(const std::string& text, std::string_view prefix);

// The calls in a platform log without their results, e.g. `bus: StopService("audiod")`, and
// without the simulated sysfs's start-up line.
std::vector<std::string> platform_calls(const std::string& log);
