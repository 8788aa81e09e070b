// SPDX-License-Identifier: MIT
// The log shared with the other simulators: one line per write, each appended whole.
#pragma once

#include <string>
#include <string_view>

// `sysfs: write /sys/PATH "DATA" -> RESULT`, with DATA escaped as a C string literal and
// RESULT "ok" or the errno name of the negative `result`.
std::string format_write_line(std::string_view sys_path, std::string_view data, int result);

// Appends `line` with one write(2), so lines of processes sharing the file never interleave.
// Returns 0 or a negative errno.
int append_line(int fd, const std::string& line);
