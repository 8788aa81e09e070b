// SPDX-License-Identifier: MIT
// What the handler's wait loop decides, apart from its I/O: one state, and one function for
// each event the loop meets (a client's code, a failed accept, the passing of time, a stop).
// Times are milliseconds on the monotonic clock.
#pragma once

#include "channel/action_code.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Waiting {
    int64_t period_ms;          // the quiet period
    int64_t quiet_at;           // when the current quiet period ends
    ActionCode pending = NONE;  // the action the codes so far merge into
    int64_t accept_at = 0;      // no client is taken in before this: a pause after failed accepts
    int64_t backoff_ms = 0;     // the length of that pause; 0 after a client was taken in
    // The codes that made the pending action, in order, a repeat in a row counted once; at
    // most MERGED_FROM_KEPT of them, and one more to say there were more.
    std::vector<ActionCode> merged_from = {};
    // Whether an earlier run, stopped or killed, had begun carrying out the pending action.
    bool begun = false;
    // Whether the pending action is recorded where the next run will find it.
    bool kept = false;
};

inline constexpr size_t MERGED_FROM_KEPT = 8;

// What the loop does next.
enum class Then {
    wait,    // goes on waiting
    act,     // carries out the pending action, whose status is the handler's
    finish,  // ends with status 0: there is nothing to carry out
    drop,    // ends with status 1: a stop came while an action was pending, which is lost
    hand_over, // ends with status 0: a stop came while an action was pending, which is kept
               // for the next run
};

Waiting start_waiting(uint32_t seconds, int64_t now);

// The action an earlier run of the handler left, stopped or killed before it had carried it
// out, is pending as if a client had just sent it.
void carry_on(Waiting& waiting, ActionCode action, bool begun);

// Whether a waiting client is taken in now.
bool taking_clients(const Waiting& waiting, int64_t now);

// How long the loop may wait for its next event before it must look at the time again.
int64_t next_timeout(const Waiting& waiting, int64_t now);

// The events. A client's code, or nothing when reading it failed: every client restarts the
// quiet period, and a valid code merges into the pending action.
Then client_taken(Waiting& waiting, int64_t now, std::optional<int32_t> code);
void accept_failed(Waiting& waiting, int64_t now);
Then time_passed(const Waiting& waiting, int64_t now);
Then stop_received(const Waiting& waiting);

// The pending action as the log names it: its word, and the codes it was merged from when
// there were several, e.g. "reattach (merged from detach, attach)".
std::string describe_pending(const Waiting& waiting);

// The merge table: the pending action after `received` (a valid code) came while `pending`
// was pending.
ActionCode merge_action(ActionCode pending, ActionCode received);
