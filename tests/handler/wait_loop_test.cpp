// SPDX-License-Identifier: MIT
// The wait loop's decisions, event by event, with an 8-second quiet period that starts at 0:
// what is pending, when the quiet period ends and restarts, when to act at once, the pause
// after a failed accept, and what the quiet end or a stop carries out.
#include "handler/waiting.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

// A client that sent `code`, a client whose read failed, a failed accept, the end of the
// quiet period, a stop.
enum Kind { sent, unread, refused, quiet, stop };

struct Event {
    int64_t at;
    Kind kind;
    int32_t code = NONE;
};

struct Row {
    std::vector<Event> events;
    Then then;  // after the last event; every earlier one goes on waiting
    ActionCode pending;
    std::vector<int32_t> reported;  // the invalid codes
    int64_t now;                    // when the next wait is asked for
    NextWait next;
};

const Row rows[] = {
    // The quiet period counts down, never below 0, and restarts with every client, whatever it
    // delivers.
    {{}, Then::wait, NONE, {}, 9000, {true, 0, true}},
    {{{0, sent, ATTACH}, {1500, sent, DETACH}}, Then::wait, DETACH, {}, 3000, {true, 6500, true}},
    {{{0, sent, ATTACH}, {4000, sent, 3}}, Then::wait, ATTACH, {3}, 4000, {true, 8000, true}},
    {{{0, sent, DETACH}, {5000, unread}}, Then::wait, DETACH, {}, 7000, {true, 6000, true}},
    // A first re-attach acts at once; the quiet end acts on what is pending, if anything.
    {{{500, sent, REATTACH}}, Then::act, REATTACH, {}, 500, {true, 8000, true}},
    {{{0, sent, ATTACH}, {8000, quiet}}, Then::act, ATTACH, {}, 8000, {true, 0, true}},
    {{{0, sent, NONE}, {8000, quiet}}, Then::finish, NONE, {}, 8000, {true, 0, true}},
    // A stop drops what is pending.
    {{{100, stop}}, Then::finish, NONE, {}, 100, {true, 7900, true}},
    {{{0, sent, DETACH}, {100, stop}}, Then::drop, DETACH, {}, 100, {true, 7900, true}},
    // After failed accepts, a pause without clients: 50 ms, doubling up to 1 s, cut short by
    // the quiet end; the next client is taken in at once.
    {std::vector<Event>(3, {1000, refused}), Then::wait, NONE, {}, 1000, {false, 200, false}},
    {std::vector<Event>(7, {1000, refused}), Then::wait, NONE, {}, 1000, {false, 1000, false}},
    {{{0, sent, ATTACH}, {7980, refused}}, Then::wait, ATTACH, {}, 7980, {false, 20, true}},
    {{{1000, refused}, {1050, sent, DETACH}}, Then::wait, DETACH, {}, 1050, {true, 8000, true}},
};

TEST(WaitLoop, EventsToDecisionPendingActionAndNextWait) {
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        Waiting waiting = start_waiting(8, 0);
        std::vector<int32_t> reported;
        for (const Event& event : row.events) {
            Taken taken = {Then::wait, std::nullopt};
            if (event.kind == sent)
                taken = client_taken(waiting, event.at, encode_action(event.code));
            else if (event.kind == unread)
                taken = client_taken(waiting, event.at, std::nullopt);
            else if (event.kind == refused)
                accept_failed(waiting);
            else
                taken.then = event.kind == quiet ? quiet_period_over(waiting)
                                                 : stop_received(waiting);
            EXPECT_EQ(taken.then, &event == &row.events.back() ? row.then : Then::wait);
            if (taken.invalid)
                reported.push_back(*taken.invalid);
        }
        EXPECT_EQ(waiting.pending, row.pending);
        EXPECT_EQ(reported, row.reported);
        NextWait next = next_wait(waiting, row.now);
        EXPECT_EQ(std::tuple(next.clients, next.timeout_ms, next.quiet),
                  std::tuple(row.next.clients, row.next.timeout_ms, row.next.quiet));
    }
}

} // namespace
