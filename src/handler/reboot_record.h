// SPDX-License-Identifier: MIT
// The reboot record on disk, in a directory of its own that must outlive reboots, and the
// current boot's id. Every file is opened afresh and closed before returning.
#pragma once

#include "handler/reboot_budget.h"

#include <optional>
#include <string>

// The file in the state directory that holds the record.
inline constexpr const char* REBOOT_RECORD_NAME = "reboots";

// Where the kernel gives each boot an id of its own.
inline constexpr const char* BOOT_ID_PATH = "/proc/sys/kernel/random/boot_id";

// Reads the record in `dir`. No file there is a record of no reboot. Returns nothing, with
// errno set, when the file cannot be read or is not a record (EBADMSG).
std::optional<RebootRecord> read_reboot_record(const std::string& dir);

// Replaces the record in `dir`, creating the directory (mode 0700) if only it is missing. A
// reader, even after a power cut, finds the old record or the new one, never a part of
// either: the new one is written to a temporary file, synced, renamed over the old one, and
// the directory synced. Returns 0 or a negative errno.
int write_reboot_record(const std::string& dir, const RebootRecord& record);

// The boot id in the file at `path`, without its line break; empty when it cannot be read.
std::string read_boot_id(const char* path);
