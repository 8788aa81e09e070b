// SPDX-License-Identifier: MIT
// The handler's side of the reboot budget: a failed action requests a reboot only while the
// reboots requested in a row stay within the bound, a success resets the count, and the
// first run of a boot that follows such a reboot says so. Keeping the record never fails an
// action; what cannot be kept is reported, and a reboot that cannot be counted is not
// requested.
#pragma once

#include "handler/plan.h"

// The directory the record is kept in, which must be on persistent storage, and how many
// reboots in a row may be requested; both chosen by the build.
inline constexpr const char* STATE_DIR = VORNIC_STATE_DIR;
inline constexpr unsigned REBOOT_BOUND = VORNIC_REBOOT_BOUND;

// After `failed` failed: true when the reboot may be requested, which is then counted.
// Otherwise writes a level-1 line that names the step and says why not.
bool may_reboot_after(StepKind failed);

// After a successful action, or one with nothing to do.
void reset_reboot_count();

// At the start of a handler run.
void report_boot_after_reboot();
