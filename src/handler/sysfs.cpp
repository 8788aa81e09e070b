// SPDX-License-Identifier: MIT
// Sysfs attribute writes for driver binding and GPIO lines. Device paths come from the
// configuration as "<driver directory>/<device name>".
#include "handler/sysfs.h"

#include "common/printable.h"
#include "handler/bounded_write.h"

#include <sys/stat.h>
#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

// Longest GPIO value path the kernel's attribute naming allows here.
constexpr size_t MAX_GPIO_PATH = 254;

std::optional<std::string> gpio_value_path(std::string_view name) {
    std::string path = "/sys/class/gpio/";
    path += name;
    path += "/value";
    if (path.size() > MAX_GPIO_PATH)
        return std::nullopt;
    return path;
}

size_t driver_attribute_path(AttributePath& out, std::string_view device, const char* attribute) {
    size_t slash = device.rfind('/');
    // A directory part longer than the buffer cannot name a real driver directory; it is
    // refused like a path without any directory at all.
    if (slash == std::string_view::npos || slash + 1 > out.size())
        return 0;
    size_t directory_length = slash + 1;
    std::copy_n(device.data(), directory_length, out.data());
    size_t room = out.size() - directory_length;
    size_t copied = std::min(std::strlen(attribute), room);
    std::copy_n(attribute, copied, out.data() + directory_length);
    if (directory_length + copied < out.size())
        out[directory_length + copied] = '\0';
    out.back() = '\0';
    return directory_length;
}

int write_sysfs_string(const char* path, const char* text) {
    switch (write_attribute_bounded(path, text, true)) {
    case WriteFailure::none:
        return 0;
    case WriteFailure::open: {
        int error = errno;
        fprintf(stderr, "<%d> Unable to open device: %s: %s\n", LOG_ERR, printable(path).c_str(),
                strerror(error));
        errno = error;
        return -1;
    }
    case WriteFailure::write:
        break;
    }
    return -1;
}

bool is_device_bound(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

int write_gpio_value(const char* path, uint8_t value) {
    char digit = static_cast<char>('0' + value);
    return write_attribute_bounded(path, {&digit, 1}, false) == WriteFailure::none ? 0 : -1;
}

int set_driver_binding(const char* attribute, const std::vector<std::string>& devices,
                       bool ignore_errors) {
    const bool binding = std::strcmp(attribute, "bind") == 0;
    AttributePath attribute_path;
    for (const std::string& device : devices) {
        size_t directory_length = driver_attribute_path(attribute_path, device, attribute);
        if (directory_length == 0) {
            fprintf(stderr, "<%d> Incorrectly formatted device path: %s\n", LOG_ERR,
                    printable(device).c_str());
            return -1;
        }
        if (binding && is_device_bound(device.c_str()))
            continue;

        if (write_sysfs_string(attribute_path.data(), device.c_str() + directory_length) != 0 &&
            !ignore_errors) {
            int error = errno;
            fprintf(stderr, "<%d> Unable to %s device %s: (%s)\n", LOG_ERR, attribute,
                    printable(attribute_path.data()).c_str(), strerror(error));
            return -1;
        }
    }
    return 0;
}
