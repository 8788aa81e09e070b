// SPDX-License-Identifier: MIT
// Runs a program to completion and captures its exit status, stdout and stderr apart.
#pragma once

#include <string>
#include <vector>

struct Outcome {
    int status = -1;      // exit status, or -1 when the process was killed by a signal
    int signal = 0;       // the killing signal, if any
    std::string out;
    std::string err;
};

Outcome run_process(const std::vector<std::string>& argv);
