// SPDX-License-Identifier: MIT
// The action a run of the handler leaves behind when it is stopped or killed before it has
// finished: kept in /run, where the next run of the same boot finds it and carries it out. A
// reboot ends every action, and the boot id in the record tells an older boot's record apart
// should /run outlive one.
#pragma once

#include "channel/action_code.h"

#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* RUNTIME_DIR = "/run/vornic";
inline constexpr const char* INTERRUPTED_RECORD_NAME = "interrupted";

struct Interrupted {
    ActionCode action = NONE;
    // Whether carrying it out had begun: some of its steps may be done, so that the state
    // test can no longer tell whether the action is in place.
    bool begun = false;
    // The boot (its kernel boot id) of the run that kept it.
    std::string boot = {};
};

// The record as it is kept: one line, "attach pending BOOT" or "attach begun BOOT".
std::string format_interrupted(const Interrupted& interrupted);
// Nothing when `text` is not such a record.
std::optional<Interrupted> parse_interrupted(std::string_view text);

// The action an earlier run of this boot left, if any. It stays recorded until this run has
// carried it out; a record that cannot be read or parsed is reported and removed.
std::optional<Interrupted> find_interrupted();
// Keeps `action` for the next run, with this boot's id. Returns false, after saying so,
// when it cannot.
bool keep_interrupted(ActionCode action, bool begun);
// The action has been carried out, or there is none: nothing is left for the next run.
void forget_interrupted();
