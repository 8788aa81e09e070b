// SPDX-License-Identifier: MIT
// Runs a role that lives in the roles library, loading the library on first use.
#pragma once

// The entry point `name` of the roles library; null when the library or the entry point
// cannot be found, which is reported.
void* find_library_role(const char* name);

// Calls `entry_point` of the roles library with `arguments` and returns its status; 1 when it
// cannot be found. The types of the arguments must be those of the entry point (cli/roles.h).
template <typename... Arguments>
int run_library_role(const char* entry_point, Arguments... arguments) {
    using Role = int (*)(Arguments...);
    void* role = find_library_role(entry_point);
    return role ? reinterpret_cast<Role>(role)(arguments...) : 1;
}
