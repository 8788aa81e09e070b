// SPDX-License-Identifier: MIT
// The reboot budget's decisions applied to the record on disk, with the lines they write.
#include "handler/reboot_guard.h"

#include "handler/plan.h"
#include "handler/reboot_budget.h"
#include "handler/reboot_record.h"

#include <syslog.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void keep(const RebootRecord& record) {
    int r = write_reboot_record(STATE_DIR, record);
    if (r < 0)
        fprintf(stderr, "<%d> Unable to update the reboot count in %s, ignoring: %s\n",
                LOG_WARNING, STATE_DIR, strerror(-r));
}

} // namespace

bool may_reboot_after(StepKind failed) {
    std::optional<RebootRecord> recorded = read_reboot_record(STATE_DIR);
    int read_error = errno;
    FailureDecision decision =
        decide_after_failure(recorded, read_boot_id(BOOT_ID_PATH), REBOOT_BOUND);
    switch (decision.then) {
    case AfterFailure::record_unreadable:
        fprintf(stderr,
                "<%d> Action failed at %s, and the reboot count in %s cannot be read: not "
                "rebooting: %s\n",
                LOG_ALERT, step_title(failed), STATE_DIR, strerror(read_error));
        return false;
    case AfterFailure::budget_spent:
        fprintf(stderr,
                "<%d> Action failed at %s, and the reboot budget is spent (%u reboots in a row "
                "without a successful action): not rebooting\n",
                LOG_ALERT, step_title(failed), decision.record.reboots);
        return false;
    case AfterFailure::reboot:
        break;
    }
    int r = write_reboot_record(STATE_DIR, decision.record);
    if (r < 0) {
        fprintf(stderr,
                "<%d> Action failed at %s, and the reboot cannot be counted in %s: not "
                "rebooting: %s\n",
                LOG_ALERT, step_title(failed), STATE_DIR, strerror(-r));
        return false;
    }
    return true;
}

void reset_reboot_count() {
    if (std::optional<RebootRecord> reset = reset_after_success(read_reboot_record(STATE_DIR)))
        keep(*reset);
}

void report_boot_after_reboot() {
    std::optional<RebootRecord> noted =
        note_new_boot(read_reboot_record(STATE_DIR), read_boot_id(BOOT_ID_PATH));
    if (!noted)
        return;
    fprintf(stderr,
            "<%d> This boot follows a reboot requested after a failed action (%u in a row, at "
            "most %u)\n",
            LOG_WARNING, noted->reboots, REBOOT_BOUND);
    keep(*noted);
}
