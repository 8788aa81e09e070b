// SPDX-License-Identifier: MIT
// What the simulated /sys holds at start: the configuration's GPIOs and devices, then the
// command line's additions, failures and bound devices.
#pragma once

#include "command_line.h"
#include "tree.h"

// Takes whatever the configuration file offers that is usable, warning about what it skips:
// tests hand vornic broken files on purpose, and the simulator must still come up. The GPIOs
// the command line says are absent are left out, as on a camera that lacks them.
void add_configuration(SysfsTree& tree, const SimOptions& options);

// Applies the command line's additions. Returns 0, or -EINVAL after saying on stderr which
// argument was unusable.
int add_command_line(SysfsTree& tree, const SimOptions& options);
