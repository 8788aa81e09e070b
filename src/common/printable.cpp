// Masking of control characters in outside text written to the log.
#include "common/printable.h"

namespace {

char masked(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c; }

} // namespace

void mask_control_characters(char* text) {
    for (; *text; text++)
        *text = masked(*text);
}

std::string printable(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        c = masked(c);
    return line;
}

std::string printable(const char* text) { return printable(std::string_view(text ? text : "")); }
