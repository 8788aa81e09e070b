// SPDX-License-Identifier: MIT
// The run of the platform's IR script: bounded in time, waited for by its exit, and ended
// with everything it started when the handler is told to stop.
#pragma once

// How long the IR script may run. It only moves the IR-cut filter and switches the lights,
// which takes a few seconds at most; one that hangs must not hold up every later event.
inline constexpr int IR_SCRIPT_TIMEOUT_SECONDS = 20;

// The status reported for a script that could not be run, or had to be stopped.
inline constexpr int IR_SCRIPT_NOT_RUN = 255;

// Runs the script `path` with its one `argument` (through /bin/sh when it has no "#!" line)
// with the signal state of a fresh process and returns its exit status (0..255), 0 meaning
// success; one that cannot be started at all is logged and reported as IR_SCRIPT_NOT_RUN. A script ended by a signal counts as 128 plus the
// signal's number, as a shell reports it. A script still running after
// IR_SCRIPT_TIMEOUT_SECONDS, or when a stop signal (SIGTERM, SIGINT, SIGHUP) reaches the
// handler, is stopped together with its process group: IR_SCRIPT_NOT_RUN.
int run_ir_script(const char* path, const char* argument);
