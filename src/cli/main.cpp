// SPDX-License-Identifier: MIT
// vornic: reconfigures the camera when its detachable accessory is attached or removed.
#include "cli/command_line.h"

int main(int argc, char* argv[]) { return run_command_line(argc, argv); }
