// SPDX-License-Identifier: MIT
// Masking of control characters in outside text written to the log.
#include "common/printable.h"

std::string printable(std::string_view text) {
    std::string line(text);
    mask_control_characters(line.data());
    return line;
}

std::string printable(const char* text) { return printable(std::string_view(text ? text : "")); }
