// SPDX-License-Identifier: MIT
// Formatting and appending the simulator's log lines.
#include "write_log.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string escaped(std::string_view data) {
    std::string text;
    for (unsigned char c : data) {
        switch (c) {
        case '\n':
            text += "\\n";
            break;
        case '\t':
            text += "\\t";
            break;
        case '\r':
            text += "\\r";
            break;
        case '"':
            text += "\\\"";
            break;
        case '\\':
            text += "\\\\";
            break;
        default:
            if (c >= 0x20 && c < 0x7f) {
                text += static_cast<char>(c);
            } else {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                text += hex;
            }
        }
    }
    return text;
}

} // namespace

std::string format_write_line(std::string_view sys_path, std::string_view data, int result) {
    const char* outcome = result == 0 ? "ok" : strerrorname_np(-result);
    return "sysfs: write " + std::string(sys_path) + " \"" + escaped(data) + "\" -> " +
           (outcome ? outcome : std::to_string(-result)) + "\n";
}

int append_line(int fd, const std::string& line) {
    ssize_t written;
    do {
        written = write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0)
        return -errno;
    return static_cast<size_t>(written) == line.size() ? 0 : -EIO;
}
