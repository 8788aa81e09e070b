// SPDX-License-Identifier: MIT
// Copies of outside text made fit for one log line (see make_printable.h).
#pragma once

#include "common/make_printable.h"

#include <string>
#include <string_view>

// A copy of `text` made printable as make_printable does. Null reads as the empty string.
std::string printable(std::string_view text);
std::string printable(const char* text);
