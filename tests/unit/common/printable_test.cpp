// SPDX-License-Identifier: MIT
// Outside text made fit for one log line: control characters masked, and a length the journal
// keeps as one record, cut where a UTF-8 sequence starts.
#include "common/printable.h"

#include <gtest/gtest.h>

namespace {

std::string x(size_t count) { return std::string(count, 'x'); }

struct Row {
    std::string text;
    std::string line;
};

const Row rows[] = {
    {"", ""},
    {"mic0\n<2> forged\r\t\x7f\x1b[1m", "mic0?<2> forged????[1m"},
    {x(PRINTABLE_MAX), x(PRINTABLE_MAX)},
    {x(PRINTABLE_MAX + 1), x(PRINTABLE_MAX - 5) + "[...]"},
    {x(48 * 1024) + "\n<2> tail", x(PRINTABLE_MAX - 5) + "[...]"},
    // A two-byte sequence across the cut goes whole; one before it stays whole.
    {x(PRINTABLE_MAX - 6) + "\xc3\xa9" + x(10), x(PRINTABLE_MAX - 6) + "[...]"},
    {x(PRINTABLE_MAX - 7) + "\xc3\xa9" + x(10), x(PRINTABLE_MAX - 7) + "\xc3\xa9[...]"},
    // Control characters past the cut are not looked at, and none is left before it.
    {"\n" + x(PRINTABLE_MAX), "?" + x(PRINTABLE_MAX - 6) + "[...]"},
};

TEST(Printable, MasksControlCharactersAndBoundsLength) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 40));
        EXPECT_EQ(printable(row.text), row.line);
        std::string in_place = row.text;
        make_printable(in_place.data());
        EXPECT_EQ(std::string(in_place.c_str()), row.line);
        EXPECT_LE(row.line.size(), PRINTABLE_MAX);
    }
}

} // namespace
