// How the handler folds the action codes that arrive close together into one pending action.
#pragma once

#include "channel/action_code.h"

struct Merge {
    ActionCode pending;  // the pending action after the code
    bool execute_now;    // a first REATTACH does not wait for the quiet period
};

// `received` must be a valid code (NONE to REATTACH).
Merge merge_action(ActionCode pending, ActionCode received);
