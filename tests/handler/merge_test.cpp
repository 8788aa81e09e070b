// Every cell of the merge table.
#include "handler/merge.h"

#include <gtest/gtest.h>

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

TEST(MergeTable, DetachThenAttachThenDetachIsDetach) {
    ActionCode pending = NONE;
    for (ActionCode code : {DETACH, ATTACH, DETACH})
        pending = merge_action(pending, code).pending;
    EXPECT_EQ(pending, DETACH);
}

} // namespace
