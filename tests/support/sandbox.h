// Runs the real vornic binary (or any command) inside the simulated camera's namespace.
#pragma once

#include "support/process.h"

#include <optional>
#include <string>
#include <vector>

inline const std::string vornic_binary = VORNIC_BINARY;
inline const std::string accept_once_binary = ACCEPT_ONCE_BINARY;

struct Sandbox {
    // Installed as /usr/share/vornic/vornic.json when set.
    std::optional<std::string> config;

    // Runs `command` inside the sandbox and returns what it did.
    Outcome run(const std::vector<std::string>& command) const;
    // Runs a bash script inside the sandbox with $VORNIC naming the binary under test.
    Outcome shell(const std::string& script) const;
};
