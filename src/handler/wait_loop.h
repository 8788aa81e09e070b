// SPDX-License-Identifier: MIT
// The handler's wait loop: collects action codes from clients and carries out one action.
#pragma once

#include "config/config.h"

#include <cstdint>

// How long a connected client may take to deliver its code. vornic's client writes right after
// connecting, so this only bounds a client that connects and then stalls, which would
// otherwise hold up every later accessory event.
inline constexpr int CLIENT_READ_TIMEOUT_SECONDS = 2;

// Serves clients on `listen_fd` (which it neither closes nor unlinks) until `seconds` pass
// without one, then carries out the merged action. A client that fails to deliver its code is
// dropped and the wait goes on. The action that an earlier run of this boot left, stopped or
// killed before it had carried it out, is pending from the start. SIGTERM, SIGINT and SIGHUP
// are blocked from here on and end the wait: the pending action is then left to the next
// run (status 1 when it could not be recorded). Returns the handler's exit status.
int wait_and_execute(int listen_fd, const HandlerConfig& config, uint32_t seconds);
