// SPDX-License-Identifier: MIT
// A write to a sysfs attribute that cannot hold the handler for ever: binding a device runs
// its driver's probe inside the write, and a probe, or a GPIO line behind a stuck bus, may
// wait for hardware that never answers. The write is made by a thread of its own, which alone
// is left waiting.
#pragma once

#include <string_view>

inline constexpr int SYSFS_WRITE_TIMEOUT_SECONDS = 25;

// Where a bounded write stopped.
enum class WriteFailure { none, open, write };

// Opens `path` for writing and writes `text` in one write, then fsyncs it when `sync`, in a
// thread. When the thread is still busy after SYSFS_WRITE_TIMEOUT_SECONDS, the write has
// failed with ETIME, and the thread is left to end when the kernel lets it. Returns where it
// failed, with errno set.
WriteFailure write_attribute_bounded(const char* path, std::string_view text, bool sync);
