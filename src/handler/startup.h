// SPDX-License-Identifier: MIT
// The handler role: obtains the listening action socket and runs the wait loop once.
#pragma once

// Returns the exit status of the handler run: 0 or 1.
int run_action_handler();
