// SPDX-License-Identifier: MIT
// What the handler's wait loop decides, apart from its I/O: the pending action, when the quiet
// period ends, how long to pause after a failed accept, and what an end of the wait carries out.
#pragma once

#include "channel/action_code.h"

#include <cstdint>
#include <optional>

// The loop's state. Times are milliseconds on the monotonic clock.
struct Waiting {
    int64_t period_ms;  // the quiet period
    int64_t quiet_at;   // when the current quiet period ends
    ActionCode pending = NONE;
    int backoff_ms = 0;  // after a failed accept, the pause before the next try; 0: none
};

Waiting start_waiting(uint32_t seconds, int64_t now);

// The loop's next wait. A stop ends it, and so does a client unless `clients` is false; after
// `timeout_ms` it times out, which ends the quiet period when `quiet` and the pause otherwise.
struct NextWait {
    bool clients;
    int64_t timeout_ms;
    bool quiet;
};

NextWait next_wait(const Waiting& waiting, int64_t now);

// What the loop does after an event.
enum class Then {
    wait,    // goes on waiting
    act,     // carries out the pending action, whose status is the handler's
    finish,  // ends with status 0: there is nothing to carry out
    drop,    // ends with status 1: a stop came while an action was pending, which is dropped
};

Then quiet_period_over(const Waiting& waiting);
Then stop_received(const Waiting& waiting);
void accept_failed(Waiting& waiting);

// A client taken in at `now`, with its message, or nothing when reading it failed.
struct Taken {
    Then then;
    std::optional<int32_t> invalid;  // a code out of range, which the loop reports
};

Taken client_taken(Waiting& waiting, int64_t now, const std::optional<ActionWire>& message);
