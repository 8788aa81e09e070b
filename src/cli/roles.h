// SPDX-License-Identifier: MIT
// The boundary between the executable and its private library. The library holds the roles
// that need the C++ run time, jansson and sd-bus (the configuration printer and the handler),
// so that the client, which udev runs on every accessory event, loads libc alone.
#pragma once

// The library's only exported symbols, looked up by these names. Each returns the exit
// status of its part, having reported any failure itself.
inline constexpr const char* PRINT_CONFIGURATION_ENTRY = "vornic_print_configuration";
inline constexpr const char* ACTION_HANDLER_ENTRY = "vornic_run_action_handler";
extern "C" {
// -p: 0 when the configuration was printed, 1 when it could not be read.
int vornic_print_configuration(void);
// -s: the handler run, 0 or 1.
int vornic_run_action_handler(void);
}
