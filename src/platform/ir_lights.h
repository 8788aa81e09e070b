// SPDX-License-Identifier: MIT
// IR light synchronisation: the platform's IR script is run with the argument that matches
// the day/night filter state reported by the optics service.
#pragma once

// The optics service's well-known name on the system bus, and the platform's IR script.
inline constexpr const char* OPTICS_BUS_NAME = "com.norv.Optics2";
inline constexpr const char* IR_SCRIPT_PATH = "/usr/bin/sync_irlight_ircut.sh";

// How long the IR script may run. It only moves the IR-cut filter and switches the lights,
// which takes a few seconds at most; one that hangs must not hold up every later event.
inline constexpr int IR_SCRIPT_TIMEOUT_SECONDS = 20;

// Runs the IR script, with the filter-off argument only when the filter state is "night"
// and with the filter-on argument otherwise, including when the state cannot be obtained.
// Returns the script's exit status (0..255); 0 means success. A script still running after
// IR_SCRIPT_TIMEOUT_SECONDS is stopped together with everything in its process group, which
// counts as failure (255), as does a script that cannot be started.
int sync_ir_lights();
