// SPDX-License-Identifier: MIT
// How many reboots in a row the handler may request: what it keeps across reboots about the
// ones it asked for, and what a failure, a success and a new boot make of it. Touches nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct RebootRecord {
    // Reboots requested in a row, with no successful action since.
    unsigned reboots = 0;
    // The boot (its kernel boot id) in which the last of them was requested, and the boot
    // whose first handler run said that it follows one; empty when none.
    std::string requested_in;
    std::string noted_in;
};

// The record as it is kept: a "reboots N" line, then "requested-in ID" and "noted-in ID"
// lines when set.
std::string format_record(const RebootRecord& record);
// Nothing when `text` is not such a record.
std::optional<RebootRecord> parse_record(std::string_view text);

// What a failed action leads to. `recorded` is nothing when the record could not be read.
enum class AfterFailure { reboot, budget_spent, record_unreadable };
struct FailureDecision {
    AfterFailure then;
    // For AfterFailure::reboot: the record to keep before the reboot is requested. Should
    // keeping it fail, the reboot is not requested: an uncounted reboot could be the first of
    // an endless series.
    RebootRecord record;
};
FailureDecision decide_after_failure(const std::optional<RebootRecord>& recorded,
                                     std::string_view boot, unsigned bound);

// After a successful action, or one with nothing to do: the record to keep, or nothing when
// the one kept already says no reboot.
std::optional<RebootRecord> reset_after_success(const std::optional<RebootRecord>& recorded);

// At the start of a handler run in boot `boot`: the record to keep when this is the first
// run of a boot that follows a reboot the handler requested (which the run then reports),
// otherwise nothing.
std::optional<RebootRecord> note_new_boot(const std::optional<RebootRecord>& recorded,
                                          std::string_view boot);
