// SPDX-License-Identifier: MIT
// The boundary between the executable and its private library. The library holds the roles
// that need the C++ run time, jansson and sd-bus (the configuration printer and check, the dry
// run and the handler), so that the client, which udev runs on every accessory event, loads
// libc alone.
#pragma once

// The library's only exported symbols, looked up by these names. Each returns the exit
// status of its part, having reported any failure itself.
inline constexpr const char* PRINT_CONFIGURATION_ENTRY = "vornic_print_configuration";
inline constexpr const char* ACTION_HANDLER_ENTRY = "vornic_run_action_handler";
inline constexpr const char* CHECK_CONFIGURATION_ENTRY = "vornic_check_configuration";
inline constexpr const char* DRY_RUN_ENTRY = "vornic_dry_run";
extern "C" {
// -p: 0 when the configuration was printed, 1 when it could not be read.
int vornic_print_configuration(void);
// -s: the handler run, 0 or 1.
int vornic_run_action_handler(void);
// -t: 0 when the file at `path` (the installed configuration when null) is usable, 1 when not;
// with `findings_fail` non-zero (-t -t), also 1 when it holds something that is almost
// certainly a mistake.
int vornic_check_configuration(const char* path, int findings_fail);
// -n: 0 when every step of `action` (an ActionCode) would find what it needs, 1 otherwise.
int vornic_dry_run(int action);
}
