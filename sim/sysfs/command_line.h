// SPDX-License-Identifier: MIT
// The simulator's command line, parsed into a plain struct.
#pragma once

#include <string>
#include <vector>

struct SimOptions {
    std::string config_path;
    std::string log_path;
    std::string mountpoint;
    bool all_bound = false;
    std::vector<std::string> bound;          // device paths, "/sys/..."
    std::vector<std::string> failing_gpios;  // GPIO names
    std::vector<std::string> absent_gpios;   // GPIO names of the configuration left out
    std::vector<std::string> failing_writes; // attribute paths, "/sys/..."
    std::vector<std::string> hanging_writes; // attribute paths, "/sys/..."
};

enum class ParseResult { Run, Help, Invalid };

// Fills `options`; on Invalid the complaint and the usage are already on stderr.
ParseResult parse_command_line(int argc, char** argv, SimOptions& options);

void print_usage(const char* program, bool to_stderr);
