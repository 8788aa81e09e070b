// SPDX-License-Identifier: MIT
// How the handler folds the action codes that arrive close together into one pending action.
#pragma once

#include "channel/action_code.h"

struct Merge {
    ActionCode pending;  // the pending action after the code
    bool execute_now;    // a first REATTACH does not wait for the quiet period
};

// `received` must be a valid code (NONE to REATTACH).
Merge merge_action(ActionCode pending, ActionCode received);

// What one client's message does to the pending action. A code out of range is reported by
// the caller and leaves the pending action as it was.
struct Intake {
    int32_t code;        // the code as the message carries it
    bool valid;          // whether `code` is NONE to REATTACH
    ActionCode pending;  // the pending action after the message
    bool execute_now;
};

Intake take_message(ActionCode pending, const ActionWire& message);
