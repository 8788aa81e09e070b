// The handler role: obtains the listening action socket and runs the wait loop once.
#pragma once

#include "common/unique_fd.h"

// Returns the exit status of the handler run: 0 or 1.
int run_action_handler();

// Creates and binds the action socket when systemd has passed none: a stale file at the
// path is replaced, a socket that something listens on is left alone and refused, and the
// file is left to the owner alone. Returns an invalid fd on failure, which has been reported.
UniqueFd create_listening_socket();
