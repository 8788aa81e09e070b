// SPDX-License-Identifier: MIT
// IR light synchronisation: the platform's IR script is run with the argument that matches
// the day/night filter state reported by the optics service.
#pragma once

#include <systemd/sd-bus.h>

// The optics service's well-known name on the system bus, and the platform's IR script.
inline constexpr const char* OPTICS_BUS_NAME = "com.norv.Optics2";
inline constexpr const char* IR_SCRIPT_PATH = "/usr/bin/sync_irlight_ircut.sh";

// Asks the optics service over `bus` (null: no connection could be had) for the filter
// state, then runs the IR script with the filter-off argument only when the state is "night"
// and with the filter-on argument otherwise, including when the state cannot be obtained.
// Returns the script's status as run_ir_script reports it; 0 means success.
int sync_ir_lights(sd_bus* bus);
