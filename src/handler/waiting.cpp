// SPDX-License-Identifier: MIT
// The wait loop's decisions: every client restarts the quiet period, its code merges into the
// pending action, and the action is carried out once the clients have been quiet for a whole
// period, or at once for a first re-attach.
#include "handler/waiting.h"

#include "handler/merge.h"

#include <algorithm>

namespace {

// After a failed accept the connection is still waiting, so the socket stays readable: the
// loop pauses this long before the next try, doubling up to the longest, instead of spinning
// while the cause (descriptors or memory exhausted) lasts.
constexpr int FIRST_ACCEPT_BACKOFF_MS = 50;
constexpr int LONGEST_ACCEPT_BACKOFF_MS = 1000;

} // namespace

Waiting start_waiting(uint32_t seconds, int64_t now) {
    int64_t period_ms = int64_t{seconds} * 1000;
    return {.period_ms = period_ms, .quiet_at = now + period_ms};
}

NextWait next_wait(const Waiting& waiting, int64_t now) {
    int64_t left = std::max<int64_t>(waiting.quiet_at - now, 0);
    if (waiting.backoff_ms > 0 && waiting.backoff_ms < left)
        return {.clients = false, .timeout_ms = waiting.backoff_ms, .quiet = false};
    return {.clients = waiting.backoff_ms == 0, .timeout_ms = left, .quiet = true};
}

Then quiet_period_over(const Waiting& waiting) {
    return waiting.pending == NONE ? Then::finish : Then::act;
}

// A stop (systemctl stop, a restart, shutdown) is obeyed at once. The pending action is not
// started then: it could outlast the stop timeout and be killed half done, and at shutdown
// the platform is going down around it, so that a refused start would turn into a reboot
// request.
Then stop_received(const Waiting& waiting) {
    return waiting.pending != NONE ? Then::drop : Then::finish;
}

void accept_failed(Waiting& waiting) {
    waiting.backoff_ms =
        std::clamp(waiting.backoff_ms * 2, FIRST_ACCEPT_BACKOFF_MS, LONGEST_ACCEPT_BACKOFF_MS);
}

// A client that fails to deliver a valid code costs only its own message: the action others
// asked for still stands, and the quiet period restarts as for any client.
Taken client_taken(Waiting& waiting, int64_t now, const std::optional<ActionWire>& message) {
    waiting.backoff_ms = 0;
    waiting.quiet_at = now + waiting.period_ms;
    if (!message)
        return {.then = Then::wait, .invalid = std::nullopt};
    Intake intake = take_message(waiting.pending, *message);
    if (!intake.valid)
        return {.then = Then::wait, .invalid = intake.code};
    waiting.pending = intake.pending;
    return {.then = intake.execute_now ? Then::act : Then::wait, .invalid = std::nullopt};
}
