// SPDX-License-Identifier: MIT
// The interrupted action's record: what a run keeps is what the next run reads back, and a
// damaged record names no action to carry out.
#include "handler/interrupted.h"

#include <gtest/gtest.h>

namespace {

TEST(InterruptedRecord, KeptRecordReadsBackAndDamagedOnesAreRefused) {
    for (ActionCode action : {ATTACH, DETACH, REATTACH})
        for (bool begun : {false, true}) {
            Interrupted kept = {.action = action, .begun = begun, .boot = "5a1e-77"};
            std::optional<Interrupted> read = parse_interrupted(format_interrupted(kept));
            ASSERT_TRUE(read.has_value()) << format_interrupted(kept);
            EXPECT_EQ(std::tuple(read->action, read->begun, read->boot),
                      std::tuple(action, begun, kept.boot));
        }
    EXPECT_EQ(format_interrupted({.action = REATTACH, .begun = true, .boot = "b"}),
              "reattach begun b\n");

    for (const char* damaged :
         {"", "attach pending b", "attach pending \n", "attach pending b c\n",
          "none pending b\n", "Attach pending b\n", "attach started b\n", "attach\n",
          "attach pending\n", "attach  pending b\n", "attach pending b\n\n"})
        EXPECT_FALSE(parse_interrupted(damaged).has_value()) << damaged;
}

} // namespace
