// SPDX-License-Identifier: MIT
// The reboot budget's decisions, case by case, and the record's text read back and refused.
#include "handler/reboot_budget.h"

#include <gtest/gtest.h>

namespace {

const std::string this_boot = "6c1f4a0e-0d1b-4e55-9a43-3f0f1c2b7d10";
const std::string earlier_boot = "0b2e7c55-8a9d-4f3e-b1c2-6d5e4f3a2b19";

struct FailureRow {
    const char* name;
    std::optional<RebootRecord> recorded;
    unsigned bound;
    AfterFailure then;
    unsigned reboots_after; // the count the decision keeps
};

const FailureRow failure_rows[] = {
    {"no reboot yet: the first is requested", RebootRecord{}, 2, AfterFailure::reboot, 1},
    {"one in a row: the second is requested", RebootRecord{1, earlier_boot, earlier_boot}, 2,
     AfterFailure::reboot, 2},
    {"two in a row with a bound of two: spent", RebootRecord{2, earlier_boot, this_boot}, 2,
     AfterFailure::budget_spent, 2},
    {"more than the bound (a build that lowered it): spent", RebootRecord{5, earlier_boot, ""},
     2, AfterFailure::budget_spent, 5},
    {"a bound of zero never reboots", RebootRecord{}, 0, AfterFailure::budget_spent, 0},
    {"an unreadable record errs on the side of not rebooting", std::nullopt, 2,
     AfterFailure::record_unreadable, 0},
};

TEST(RebootBudget, AfterFailure) {
    for (const FailureRow& row : failure_rows) {
        SCOPED_TRACE(row.name);
        FailureDecision decision = decide_after_failure(row.recorded, this_boot, row.bound);
        EXPECT_EQ(decision.then, row.then);
        EXPECT_EQ(decision.record.reboots, row.reboots_after);
        if (row.then == AfterFailure::reboot) {
            EXPECT_EQ(decision.record.requested_in, this_boot);
            EXPECT_EQ(decision.record.noted_in, row.recorded->noted_in);
        }
    }
}

struct SuccessRow {
    const char* name;
    std::optional<RebootRecord> recorded;
    bool rewritten; // to a record of no reboot
};

const SuccessRow success_rows[] = {
    {"nothing recorded: nothing written", RebootRecord{}, false},
    {"a count is reset", RebootRecord{2, earlier_boot, this_boot}, true},
    {"an unreadable record is replaced", std::nullopt, true},
};

TEST(RebootBudget, AfterSuccess) {
    for (const SuccessRow& row : success_rows) {
        SCOPED_TRACE(row.name);
        std::optional<RebootRecord> reset = reset_after_success(row.recorded);
        ASSERT_EQ(reset.has_value(), row.rewritten);
        if (reset) {
            EXPECT_EQ(format_record(*reset), "reboots 0\n");
        }
    }
}

struct BootRow {
    const char* name;
    std::optional<RebootRecord> recorded;
    std::string boot;
    bool noted;
};

const BootRow boot_rows[] = {
    {"first run after a requested reboot", RebootRecord{1, earlier_boot, ""}, this_boot, true},
    {"first run after the second", RebootRecord{2, earlier_boot, earlier_boot}, this_boot, true},
    {"a later run of the same boot", RebootRecord{1, earlier_boot, this_boot}, this_boot, false},
    {"the boot that requested it, the reboot not yet done", RebootRecord{1, this_boot, ""},
     this_boot, false},
    {"no reboot requested", RebootRecord{0, earlier_boot, ""}, this_boot, false},
    {"unreadable record", std::nullopt, this_boot, false},
    {"boot id unknown", RebootRecord{1, earlier_boot, ""}, "", false},
};

TEST(RebootBudget, FirstRunOfABootAfterARequestedReboot) {
    for (const BootRow& row : boot_rows) {
        SCOPED_TRACE(row.name);
        std::optional<RebootRecord> noted = note_new_boot(row.recorded, row.boot);
        ASSERT_EQ(noted.has_value(), row.noted);
        if (noted) {
            EXPECT_EQ(noted->noted_in, row.boot);
            EXPECT_EQ(noted->reboots, row.recorded->reboots);
            EXPECT_EQ(noted->requested_in, row.recorded->requested_in);
        }
    }
}

TEST(RebootRecordText, ReadsBackWhatItWrites) {
    for (const RebootRecord& record :
         {RebootRecord{}, RebootRecord{1, this_boot, ""}, RebootRecord{2, earlier_boot, this_boot}}) {
        std::string text = format_record(record);
        SCOPED_TRACE(text);
        std::optional<RebootRecord> parsed = parse_record(text);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->reboots, record.reboots);
        EXPECT_EQ(parsed->requested_in, record.requested_in);
        EXPECT_EQ(parsed->noted_in, record.noted_in);
    }
}

TEST(RebootRecordText, RefusesWhatIsNotARecord) {
    for (const char* text : {
             "",                                  // empty file: a write cut short
             "reboots 1",                         // no line break: cut short
             "reboots\n",                         // no value
             "reboots -1\n", "reboots 1x\n", "reboots  1\n", "reboots 1001\n",
             "reboots 99999999999999999999\n",    // out of range
             "requested-in abc\n",                // no count
             "reboots 1\nreboots 2\n",            // twice
             "reboots 1\nrequested-in \n",        // empty id
             "reboots 1\nrequested-in a\tb\n",    // control character in the id
             "reboots 1\nuptime 5\n",             // unknown key
         }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parse_record(text));
    }
}

} // namespace
