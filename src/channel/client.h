// SPDX-License-Identifier: MIT
// The client role: delivers one action code to the action handler and returns.
#pragma once

#include <cstdint>

// Returns the exit status: 0 once all four bytes are written, 1 otherwise (reported on stderr).
int submit_action(int32_t code, const char* socket_path);
