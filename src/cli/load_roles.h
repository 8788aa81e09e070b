// SPDX-License-Identifier: MIT
// Runs a role that lives in the roles library, loading the library on first use.
#pragma once

// Calls `entry_point` of the roles library and returns its status; 1 when the library or
// the entry point cannot be found, which is reported.
int run_library_role(const char* entry_point);
