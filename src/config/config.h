// SPDX-License-Identifier: MIT
// The handler's configuration: what to drive, bind, stop and start when an accessory changes.
#pragma once

#include "common/handles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* CONFIG_PATH = "/usr/share/vornic/vornic.json";

// A list from the configuration file. An absent and an empty JSON array both read as
// std::nullopt, so a list that is present always holds at least one entry.
using StringList = std::optional<std::vector<std::string>>;

enum ConfigFlag : uint32_t {
    SYNC_IRLIGHT = 1u << 0,
    TRIGGER_MIC_SWAP = 1u << 1,
    NEVER_REBOOT = 1u << 2,
};

struct HandlerConfig {
    StringList bind_devices;
    StringList unbind_devices;
    StringList startstop_services;
    StringList reload_services;
    StringList set_gpio;
    uint32_t flags = 0;

    bool has(ConfigFlag flag) const { return (flags & flag) != 0; }
};

// Reads and validates the file at `path`. On failure the reason has been written to stderr.
std::optional<HandlerConfig> load_config(const char* path);

// The same, and hands over the parsed document in `document` whenever the file parsed as a
// JSON object, valid configuration or not: the configuration check reads more of it.
std::optional<HandlerConfig> load_config(const char* path, JsonPtr& document);
