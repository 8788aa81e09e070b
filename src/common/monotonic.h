// SPDX-License-Identifier: MIT
// The monotonic clock, for deadlines that a change of the wall clock must not move: in
// microseconds, as the bus library counts, and in milliseconds, as poll does.
#pragma once

#include <cstdint>
#include <ctime>

inline uint64_t monotonic_usec() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1'000'000 + uint64_t(now.tv_nsec) / 1000;
}

inline int64_t monotonic_ms() { return int64_t(monotonic_usec() / 1000); }
