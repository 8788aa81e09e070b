// SPDX-License-Identifier: MIT
// The handler's status line, sent to the service manager's notification socket.
#include "handler/status.h"

#include <systemd/sd-daemon.h>

#include <cstdarg>
#include <cstdio>

void show_status(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    // Without a service manager listening there is nobody to tell, which is no failure.
    sd_notifyf(0, "STATUS=%s", line);
}
