// SPDX-License-Identifier: MIT
// Text from outside the program (the configuration, the bus, the command line) made safe for
// one log line: a line break or another control character in it would let the journal read
// the rest as a separate record, with whatever priority prefix the text carries, and so would
// a line longer than the journal takes (LineMax, 48 KiB by default), which it splits.
#pragma once

#include <cstddef>
#include <cstring>

// The most bytes of one piece of outside text that a line carries, the cut mark included.
inline constexpr size_t PRINTABLE_MAX = 1024;
// What ends a piece of text that was cut.
inline constexpr char CUT_MARK[] = "[...]";

// Makes the NUL-terminated `text` fit for a log line, in place, without allocating: every
// control character (below 0x20, and DEL) becomes '?', and a text longer than PRINTABLE_MAX
// bytes is cut before a UTF-8 sequence and ends with CUT_MARK. Inline and apart from the
// copying variants in printable.h, so that the client, which links no C++ run time, has it
// without including the C++ string library.
inline void make_printable(char* text) {
    size_t length = 0;
    for (; text[length] && length <= PRINTABLE_MAX; length++)
        if (static_cast<unsigned char>(text[length]) < 0x20 || text[length] == 0x7f)
            text[length] = '?';
    if (length <= PRINTABLE_MAX)
        return;
    // The text has more than PRINTABLE_MAX bytes, so the mark and its NUL fit where it goes.
    size_t cut = PRINTABLE_MAX - (sizeof CUT_MARK - 1);
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
        cut--;
    std::memcpy(text + cut, CUT_MARK, sizeof CUT_MARK);
}
