// SPDX-License-Identifier: MIT
// Every cell of the merge table, and what a client's message does to the pending action.
#include "handler/merge.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct Cell {
    ActionCode pending;
    ActionCode received;
    ActionCode merged;
    bool execute_now;
};

constexpr Cell table[] = {
    {NONE, NONE, NONE, false},
    {NONE, ATTACH, ATTACH, false},
    {NONE, DETACH, DETACH, false},
    {NONE, REATTACH, REATTACH, true},
    {ATTACH, NONE, ATTACH, false},
    {ATTACH, ATTACH, ATTACH, false},
    {ATTACH, DETACH, DETACH, false},
    {ATTACH, REATTACH, ATTACH, false},
    {DETACH, NONE, DETACH, false},
    {DETACH, ATTACH, REATTACH, false},
    {DETACH, DETACH, DETACH, false},
    {DETACH, REATTACH, DETACH, false},
    {REATTACH, NONE, REATTACH, false},
    {REATTACH, ATTACH, REATTACH, false},
    {REATTACH, DETACH, DETACH, false},
    {REATTACH, REATTACH, REATTACH, false},
};

TEST(MergeTable, EveryCell) {
    for (const Cell& cell : table) {
        SCOPED_TRACE(testing::Message() << "pending " << cell.pending << ", received "
                                        << cell.received);
        Merge merge = merge_action(cell.pending, cell.received);
        EXPECT_EQ(merge.pending, cell.merged);
        EXPECT_EQ(merge.execute_now, cell.execute_now);
    }
}

// A message is taken through the table only when its code is valid, and passes on whether
// to act at once.
TEST(TakeMessage, OnlyValidCodesGoThroughTheTable) {
    for (int32_t code : {-2, 3, std::numeric_limits<int32_t>::min(),
                         std::numeric_limits<int32_t>::max()}) {
        SCOPED_TRACE(code);
        Intake intake = take_message(DETACH, encode_action(code));
        EXPECT_FALSE(intake.valid);
        EXPECT_EQ(intake.code, code);
        EXPECT_EQ(intake.pending, DETACH);
        EXPECT_FALSE(intake.execute_now);
    }
    Intake intake = take_message(NONE, encode_action(REATTACH));
    EXPECT_TRUE(intake.valid);
    EXPECT_EQ(intake.pending, REATTACH);
    EXPECT_TRUE(intake.execute_now);
}

} // namespace
