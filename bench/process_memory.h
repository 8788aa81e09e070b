// SPDX-License-Identifier: MIT
// Reading a process's memory from /proc, for the benchmarks' timing harness.
#pragma once

#include <stddef.h>
#include <sys/types.h>

// Writes " hwm_kb=N libs_kb=N own_kb=N private_kb=N pss_kb=N" about process `pid` to `out`.
// Exits the harness when /proc cannot be read.
void read_process_memory(pid_t pid, char* out, size_t size);

// Reports `what` with the system error and exits with status 1.
void die(const char* what);
