// SPDX-License-Identifier: MIT
// The handler's only contact with sysfs: writing attributes, binding and unbinding device
// drivers, driving GPIO lines. Every file is opened afresh and closed before returning.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The value file of GPIO line `name`, or nothing when that path would be longer than the
// 254 characters the handler accepts.
std::optional<std::string> gpio_value_path(std::string_view name);

// A driver attribute's path, built in a fixed buffer so that binding needs no allocation: the
// directory part of a device path followed by "bind" or "unbind", cut to 254 characters.
using AttributePath = std::array<char, 255>;

// Fills `out` with the path of `attribute` in the driver directory of `device`, and returns
// the length of that directory part, up to and including its last '/'. Returns 0 for a device
// path that names no driver directory: one without a '/', or whose directory part does not
// fit the buffer.
size_t driver_attribute_path(AttributePath& out, std::string_view device, const char* attribute);

// Writes `text` to the attribute at `path` in one write, then fsyncs it. Returns 0 or -1;
// only a failed open is reported here, the caller reports the rest.
int write_sysfs_string(const char* path, const char* text);

// True when `path` (links followed) is a directory: the kernel keeps such an entry in the
// driver's directory while the device is bound to it.
bool is_device_bound(const char* path);

// Writes the single character '0' + `value` to a GPIO value file. Returns 0 or -1 silently.
int write_gpio_value(const char* path, uint8_t value);

// Writes each device's name to the `attribute` ("bind" or "unbind") of its driver directory,
// in list order; devices already bound are passed over for "bind". Returns 0, or -1 at the
// first malformed device path and at the first failed write unless `ignore_errors`.
int set_driver_binding(const char* attribute, const std::vector<std::string>& devices,
                       bool ignore_errors);
