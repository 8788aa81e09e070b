// SPDX-License-Identifier: MIT
// The fuzz targets' invariant check: a violation aborts with the condition and where it is, which
// libFuzzer records as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: invariant violated: %s\n", __FILE__, __LINE__,        \
                         #condition);                                                          \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)
