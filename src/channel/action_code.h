// SPDX-License-Identifier: MIT
// Action codes and their wire format: one signed 32-bit integer in host byte order.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

enum ActionCode : int32_t {
    NONE = -1,
    ATTACH = 0,
    DETACH = 1,
    REATTACH = 2,
};

inline constexpr const char* ACTION_SOCKET_PATH = "/run/vornic.socket";

// Every message on the action socket is exactly this long; there is no header and no reply.
inline constexpr size_t ACTION_WIRE_SIZE = sizeof(int32_t);
using ActionWire = std::array<unsigned char, ACTION_WIRE_SIZE>;

inline ActionWire encode_action(int32_t code) {
    ActionWire wire;
    std::memcpy(wire.data(), &code, sizeof code);
    return wire;
}

inline int32_t decode_action(const ActionWire& wire) {
    int32_t code;
    std::memcpy(&code, wire.data(), sizeof code);
    return code;
}

inline bool is_valid_action(int32_t code) { return code >= NONE && code <= REATTACH; }

// The command line's action words, by code: the one table both ways.
inline constexpr const char* ACTION_WORDS[] = {"attach", "detach", "reattach"};

inline const char* action_word(ActionCode action) {
    return action >= ATTACH && action <= REATTACH ? ACTION_WORDS[action] : "none";
}

// The code of an action word, compared exactly; nothing for any other word.
inline std::optional<ActionCode> parse_action_word(const char* word) {
    for (int32_t code = ATTACH; code <= REATTACH; code++)
        if (std::strcmp(word, ACTION_WORDS[code]) == 0)
            return static_cast<ActionCode>(code);
    return std::nullopt;
}
