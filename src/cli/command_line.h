// SPDX-License-Identifier: MIT
// The program's command line: options, root check and the choice of role.
#pragma once

// Runs the role the command line asks for and returns the process exit status.
int run_command_line(int argc, char* argv[]);
