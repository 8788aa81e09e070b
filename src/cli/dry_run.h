// SPDX-License-Identifier: MIT
// -n: what an action would do on this camera, next to what the camera shows now.
#pragma once

#include "channel/action_code.h"

// Prints the preview of `action` with the installed configuration, one line for each thing a
// step would touch. Changes nothing: it reads sysfs, asks the bus daemon which names have an
// owner, and looks at the IR script. Returns 0 when every step would find what it needs, 1
// otherwise or when the configuration cannot be used (reported).
int dry_run(ActionCode action);
