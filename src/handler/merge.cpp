// The merge table. A DETACH always wins; an ATTACH after a DETACH means the accessory came
// back, so both must be redone; anything else keeps what is pending.
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
