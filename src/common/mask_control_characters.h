// SPDX-License-Identifier: MIT
// Text from outside the program (the configuration, the bus, the command line) made safe for
// one log line: a line break or another control character in it would let the journal read
// the rest as a separate record, with whatever priority prefix the text carries.
#pragma once

// Replaces every control character (below 0x20, and DEL) of the NUL-terminated `text` with
// '?', in place, without allocating. Inline and apart from the copying variants in
// printable.h, so that the client, which links no C++ run time, has it without including the
// C++ string library.
inline void mask_control_characters(char* text) {
    for (; *text; text++)
        if (static_cast<unsigned char>(*text) < 0x20 || *text == 0x7f)
            *text = '?';
}
