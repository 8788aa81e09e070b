// SPDX-License-Identifier: MIT
// What the handler is doing, as `systemctl status vornic.service` shows it: a line that the
// service manager keeps (STATUS=), nothing when the handler runs without one.
#pragma once

__attribute__((format(printf, 1, 2))) void show_status(const char* format, ...);
