// SPDX-License-Identifier: MIT
// The wait loop's decisions: every client restarts the quiet period, its code merges into the
// pending action, and the action is carried out once the clients have been quiet for a whole
// period, or at once for a first re-attach.
#include "handler/waiting.h"

#include <algorithm>
#include <string>

namespace {

// After a failed accept the connection is still waiting, so the socket stays readable: the
// loop pauses this long before the next try, doubling up to the longest, instead of spinning
// while the cause (descriptors or memory exhausted) lasts.
constexpr int64_t FIRST_ACCEPT_BACKOFF_MS = 50;
constexpr int64_t LONGEST_ACCEPT_BACKOFF_MS = 1000;

} // namespace

Waiting start_waiting(uint32_t seconds, int64_t now) {
    int64_t period_ms = int64_t{seconds} * 1000;
    return {.period_ms = period_ms, .quiet_at = now + period_ms};
}

void carry_on(Waiting& waiting, ActionCode action, bool begun) {
    waiting.pending = action;
    waiting.merged_from = {action};
    waiting.begun = begun;
}

bool taking_clients(const Waiting& waiting, int64_t now) { return now >= waiting.accept_at; }

int64_t next_timeout(const Waiting& waiting, int64_t now) {
    int64_t until = waiting.quiet_at;
    if (waiting.accept_at > now)
        until = std::min(until, waiting.accept_at);
    return std::max<int64_t>(until - now, 0);
}

// A DETACH always wins; an ATTACH after a DETACH means the accessory came back, so both must be
// redone; anything else keeps what is pending.
ActionCode merge_action(ActionCode pending, ActionCode received) {
    if (pending == NONE || received == DETACH)
        return received;
    if (pending == DETACH && received == ATTACH)
        return REATTACH;
    return pending;
}

// A client that fails to deliver a valid code costs only its own message: the action others
// asked for still stands, and the quiet period restarts as for any client.
Then client_taken(Waiting& waiting, int64_t now, std::optional<int32_t> code) {
    waiting.backoff_ms = 0;
    waiting.quiet_at = now + waiting.period_ms;
    if (!code || !is_valid_action(*code))
        return Then::wait;
    auto received = static_cast<ActionCode>(*code);
    bool first_reattach = waiting.pending == NONE && received == REATTACH;
    waiting.pending = merge_action(waiting.pending, received);
    std::vector<ActionCode>& merged_from = waiting.merged_from;
    if (received != NONE && merged_from.size() <= MERGED_FROM_KEPT &&
        (merged_from.empty() || merged_from.back() != received))
        merged_from.push_back(received);
    return first_reattach ? Then::act : Then::wait;
}

void accept_failed(Waiting& waiting, int64_t now) {
    waiting.backoff_ms =
        std::clamp(waiting.backoff_ms * 2, FIRST_ACCEPT_BACKOFF_MS, LONGEST_ACCEPT_BACKOFF_MS);
    waiting.accept_at = now + waiting.backoff_ms;
}

Then time_passed(const Waiting& waiting, int64_t now) {
    if (now < waiting.quiet_at)
        return Then::wait;
    return waiting.pending == NONE ? Then::finish : Then::act;
}

// A stop (systemctl stop, a restart, shutdown) is obeyed at once. The pending action is not
// started then: it could outlast the stop timeout and be killed half done, and at shutdown
// the platform is going down around it, so that a refused start would turn into a reboot
// request. The next run carries it out, unless it could not be recorded.
Then stop_received(const Waiting& waiting) {
    if (waiting.pending == NONE)
        return Then::finish;
    return waiting.kept ? Then::hand_over : Then::drop;
}

std::string describe_pending(const Waiting& waiting) {
    std::string text = action_word(waiting.pending);
    const std::vector<ActionCode>& merged_from = waiting.merged_from;
    if (merged_from.size() < 2)
        return text;
    text += " (merged from ";
    for (size_t i = 0; i < merged_from.size(); i++) {
        if (i > 0)
            text += ", ";
        text += i < MERGED_FROM_KEPT ? action_word(merged_from[i]) : "...";
    }
    return text + ")";
}
