// SPDX-License-Identifier: MIT
// Copies of outside text masked for one log line (see mask_control_characters.h).
#pragma once

#include "common/mask_control_characters.h"

#include <string>
#include <string_view>

// A copy of `text` with every control character shown as '?'. Null reads as the empty string.
std::string printable(std::string_view text);
std::string printable(const char* text);
