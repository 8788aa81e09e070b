// SPDX-License-Identifier: MIT
// Informational lines of the handler: on stdout, flushed at once so the journal shows each
// step as it happens rather than when the handler exits.
#pragma once

#include <cstdarg>
#include <cstdio>

__attribute__((format(printf, 1, 2))) inline void progress(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}
