// SPDX-License-Identifier: MIT
// Outside text made fit for the log: control characters masked, length bounded.
#include "common/printable.h"

std::string printable(std::string_view text) {
    // Only what can show is copied: a peer may send megabytes.
    std::string line(text.substr(0, PRINTABLE_MAX + 1));
    make_printable(line.data());
    line.resize(std::strlen(line.c_str()));
    return line;
}

std::string printable(const char* text) { return printable(std::string_view(text ? text : "")); }
