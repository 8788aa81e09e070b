// SPDX-License-Identifier: MIT
// The platform's three D-Bus services on one connection: service control, optics, camera view.
#pragma once

#include "simulator.h"

// Puts every service the scenario does not leave absent on `bus`: its object, then its name.
// Returns 0 once all names are owned, or a negative errno.
int serve_platform(sd_bus* bus, Simulator& sim);
