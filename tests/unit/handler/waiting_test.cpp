// SPDX-License-Identifier: MIT
// The wait loop's decisions: every cell of the merge table, then event sequences with an
// 8-second quiet period that starts at 0: what is pending, when the quiet period ends and
// restarts, when to act at once, the pause after a failed accept, and what the quiet end or
// a stop carries out.
#include "handler/waiting.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

namespace {

struct Cell {
    ActionCode pending;
    ActionCode received;
    ActionCode merged;
};

constexpr Cell table[] = {
    {NONE, NONE, NONE},           {NONE, ATTACH, ATTACH},       {NONE, DETACH, DETACH},
    {NONE, REATTACH, REATTACH},   {ATTACH, NONE, ATTACH},       {ATTACH, ATTACH, ATTACH},
    {ATTACH, DETACH, DETACH},     {ATTACH, REATTACH, ATTACH},   {DETACH, NONE, DETACH},
    {DETACH, ATTACH, REATTACH},   {DETACH, DETACH, DETACH},     {DETACH, REATTACH, DETACH},
    {REATTACH, NONE, REATTACH},   {REATTACH, ATTACH, REATTACH}, {REATTACH, DETACH, DETACH},
    {REATTACH, REATTACH, REATTACH},
};

TEST(MergeTable, EveryCell) {
    for (const Cell& cell : table) {
        SCOPED_TRACE(testing::Message() << "pending " << cell.pending << ", received "
                                        << cell.received);
        EXPECT_EQ(merge_action(cell.pending, cell.received), cell.merged);
    }
}

// A client that sent `code`, a client whose read failed, a failed accept, a look at the
// clock, a stop; the action `code` left by an earlier run, and the pending action recorded
// for the next run.
enum Kind { sent, unread, refused, clock, stop, left, recorded };

struct Event {
    int64_t at;
    Kind kind;
    int32_t code = NONE;
};

struct Row {
    std::vector<Event> events;
    Then then;  // after the last event; every earlier one goes on waiting
    ActionCode pending;
    int64_t now;  // when the next wait is asked for...
    bool clients; // ...whether it takes clients in...
    int64_t timeout_ms; // ...and for how long
};

constexpr int32_t int_min = std::numeric_limits<int32_t>::min();
constexpr int32_t int_max = std::numeric_limits<int32_t>::max();

const Row rows[] = {
    // The quiet period counts down, never below 0, and restarts with every client, whatever it
    // delivers; the clock alone ends nothing before it is over.
    {{}, Then::wait, NONE, 9000, true, 0},
    {{{7999, clock}}, Then::wait, NONE, 7999, true, 1},
    {{{0, sent, ATTACH}, {1500, sent, DETACH}}, Then::wait, DETACH, 3000, true, 6500},
    {{{0, sent, ATTACH}, {4000, sent, 3}}, Then::wait, ATTACH, 4000, true, 8000},
    {{{0, sent, DETACH}, {1, sent, -2}, {2, sent, int_min}, {3, sent, int_max}}, Then::wait,
     DETACH, 3, true, 8000},
    {{{0, sent, DETACH}, {5000, unread}}, Then::wait, DETACH, 7000, true, 6000},
    {{{0, sent, DETACH}, {10, sent, ATTACH}, {20, sent, DETACH}}, Then::wait, DETACH, 20, true,
     8000},
    // A first re-attach acts at once, a later one does not; the quiet end acts on what is
    // pending, if anything.
    {{{500, sent, REATTACH}}, Then::act, REATTACH, 500, true, 8000},
    {{{0, sent, ATTACH}, {100, sent, REATTACH}}, Then::wait, ATTACH, 100, true, 8000},
    {{{0, sent, 7}, {100, sent, REATTACH}}, Then::act, REATTACH, 100, true, 8000},
    {{{0, sent, ATTACH}, {8000, clock}}, Then::act, ATTACH, 8000, true, 0},
    {{{0, sent, NONE}, {8000, clock}}, Then::finish, NONE, 8000, true, 0},
    {{{0, sent, DETACH}, {7000, sent, NONE}, {14999, clock}}, Then::wait, DETACH, 14999, true, 1},
    // A stop leaves what is pending to the next run, or drops it when it is not recorded.
    {{{100, stop}}, Then::finish, NONE, 100, true, 7900},
    {{{0, sent, DETACH}, {100, stop}}, Then::drop, DETACH, 100, true, 7900},
    {{{0, sent, DETACH}, {0, recorded}, {100, stop}}, Then::hand_over, DETACH, 100, true, 7900},
    // What an earlier run left is pending as if its client had just come: later codes merge
    // into it, a re-attach then waits, and the quiet end acts on it.
    {{{0, left, DETACH}, {100, sent, ATTACH}}, Then::wait, REATTACH, 100, true, 8000},
    {{{0, left, ATTACH}, {100, sent, REATTACH}}, Then::wait, ATTACH, 100, true, 8000},
    {{{0, left, DETACH}, {8000, clock}}, Then::act, DETACH, 8000, true, 0},
    // After failed accepts, a pause without clients: 50 ms, doubling up to 1 s, cut short by
    // the quiet end; the next client is taken in at once, and the pause starts over.
    {std::vector<Event>(3, {1000, refused}), Then::wait, NONE, 1000, false, 200},
    {std::vector<Event>(7, {1000, refused}), Then::wait, NONE, 1000, false, 1000},
    {std::vector<Event>(3, {1000, refused}), Then::wait, NONE, 1200, true, 6800},
    {{{0, sent, ATTACH}, {7980, refused}}, Then::wait, ATTACH, 7980, false, 20},
    {{{1000, refused}, {1050, sent, DETACH}}, Then::wait, DETACH, 1050, true, 8000},
    {{{1000, refused}, {1000, refused}, {1150, sent, DETACH}, {1200, refused}}, Then::wait,
     DETACH, 1200, false, 50},
};

TEST(WaitLoop, EventsToDecisionPendingActionAndNextWait) {
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &row - rows);
        Waiting waiting = start_waiting(8, 0);
        for (const Event& event : row.events) {
            Then then = Then::wait;
            if (event.kind == sent)
                then = client_taken(waiting, event.at, event.code);
            else if (event.kind == unread)
                then = client_taken(waiting, event.at, std::nullopt);
            else if (event.kind == refused)
                accept_failed(waiting, event.at);
            else if (event.kind == clock)
                then = time_passed(waiting, event.at);
            else if (event.kind == left)
                carry_on(waiting, static_cast<ActionCode>(event.code), false);
            else if (event.kind == recorded)
                waiting.kept = true;
            else
                then = stop_received(waiting);
            EXPECT_EQ(then, &event == &row.events.back() ? row.then : Then::wait);
        }
        EXPECT_EQ(waiting.pending, row.pending);
        EXPECT_EQ(std::tuple(taking_clients(waiting, row.now), next_timeout(waiting, row.now)),
                  std::tuple(row.clients, row.timeout_ms));
    }
}

// The action line names what the codes merged into and, when there were several, the codes
// in order, a repeat in a row once, invalid and NONE codes left out, a long run cut short.
TEST(WaitLoop, PendingActionIsDescribedWithWhatItWasMergedFrom) {
    struct Described {
        std::vector<int32_t> codes;
        std::string text;
    };
    const Described described[] = {
        {{ATTACH}, "attach"},
        {{ATTACH, ATTACH, NONE}, "attach"},
        {{DETACH, 9, DETACH, NONE, ATTACH}, "reattach (merged from detach, attach)"},
        {{ATTACH, REATTACH}, "attach (merged from attach, reattach)"},
        {{DETACH, ATTACH, DETACH, ATTACH, DETACH, ATTACH, DETACH, ATTACH, DETACH, ATTACH},
         "reattach (merged from detach, attach, detach, attach, detach, attach, detach, "
         "attach, ...)"},
    };
    for (const Described& row : described) {
        Waiting waiting = start_waiting(8, 0);
        for (int32_t code : row.codes)
            client_taken(waiting, 0, code);
        EXPECT_EQ(describe_pending(waiting), row.text);
    }
}

} // namespace
