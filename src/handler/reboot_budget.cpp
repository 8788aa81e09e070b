// SPDX-License-Identifier: MIT
// The reboot budget's decisions, and the record's text form.
#include "handler/reboot_budget.h"

#include <charconv>

namespace {

// More than any bound a build would choose; a larger count is a damaged record.
constexpr unsigned MAX_RECORDED_REBOOTS = 1000;

// A boot id as the kernel writes it is a UUID; anything printable without spaces will do.
bool is_token(std::string_view text) {
    if (text.empty() || text.size() > 64)
        return false;
    for (char c : text)
        if (c <= ' ' || c == 0x7f)
            return false;
    return true;
}

} // namespace

std::string format_record(const RebootRecord& record) {
    std::string text = "reboots " + std::to_string(record.reboots) + "\n";
    if (!record.requested_in.empty())
        text += "requested-in " + record.requested_in + "\n";
    if (!record.noted_in.empty())
        text += "noted-in " + record.noted_in + "\n";
    return text;
}

std::optional<RebootRecord> parse_record(std::string_view text) {
    RebootRecord record;
    bool counted = false;
    while (!text.empty()) {
        size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt; // cut short
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return std::nullopt;
        std::string_view key = line.substr(0, space);
        std::string_view value = line.substr(space + 1);
        if (key == "reboots" && !counted) {
            auto [rest, error] =
                std::from_chars(value.data(), value.data() + value.size(), record.reboots);
            if (error != std::errc() || rest != value.data() + value.size() || value.empty() ||
                record.reboots > MAX_RECORDED_REBOOTS)
                return std::nullopt;
            counted = true;
        } else if (key == "requested-in" && record.requested_in.empty() && is_token(value)) {
            record.requested_in = value;
        } else if (key == "noted-in" && record.noted_in.empty() && is_token(value)) {
            record.noted_in = value;
        } else {
            return std::nullopt;
        }
    }
    if (!counted)
        return std::nullopt;
    return record;
}

FailureDecision decide_after_failure(const std::optional<RebootRecord>& recorded,
                                     std::string_view boot, unsigned bound) {
    if (!recorded)
        return {.then = AfterFailure::record_unreadable, .record = {}};
    if (recorded->reboots >= bound)
        return {.then = AfterFailure::budget_spent, .record = *recorded};
    RebootRecord next = *recorded;
    next.reboots++;
    next.requested_in = boot;
    return {.then = AfterFailure::reboot, .record = next};
}

std::optional<RebootRecord> reset_after_success(const std::optional<RebootRecord>& recorded) {
    // An unreadable record is replaced too: a success is the moment to repair it.
    if (recorded && recorded->reboots == 0)
        return std::nullopt;
    return RebootRecord{};
}

std::optional<RebootRecord> note_new_boot(const std::optional<RebootRecord>& recorded,
                                          std::string_view boot) {
    // Without the boot's id nothing tells this boot from the one that asked for the reboot.
    if (!recorded || recorded->reboots == 0 || boot.empty() || recorded->requested_in == boot ||
        recorded->noted_in == boot)
        return std::nullopt;
    RebootRecord next = *recorded;
    next.noted_in = boot;
    return next;
}
