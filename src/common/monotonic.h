// SPDX-License-Identifier: MIT
// Milliseconds on the monotonic clock, for deadlines that a change of the wall clock must not
// move.
#pragma once

#include <cstdint>
#include <ctime>

inline int64_t monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}
