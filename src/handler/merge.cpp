// SPDX-License-Identifier: MIT
// The merge table, and one client's message taken through it. A DETACH always wins; an ATTACH
// after a DETACH means the accessory came back, so both must be redone; anything else keeps
// what is pending.
#include "handler/merge.h"

Merge merge_action(ActionCode pending, ActionCode received) {
    if (pending == NONE)
        return {received, received == REATTACH};
    if (received == DETACH)
        return {DETACH, false};
    if (pending == DETACH && received == ATTACH)
        return {REATTACH, false};
    return {pending, false};
}

Intake take_message(ActionCode pending, const ActionWire& message) {
    int32_t code = decode_action(message);
    if (!is_valid_action(code))
        return {.code = code, .valid = false, .pending = pending, .execute_now = false};
    Merge merge = merge_action(pending, static_cast<ActionCode>(code));
    return {.code = code, .valid = true, .pending = merge.pending,
            .execute_now = merge.execute_now};
}
