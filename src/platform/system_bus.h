// SPDX-License-Identifier: MIT
// The handler's connection to the D-Bus system bus, over which vornic talks to the platform's
// services: how it is opened within a bound, kept, drained, replaced when it died, and the
// one way vornic calls a method on it.
#pragma once

#include "common/handles.h"

#include <cstdint>

// How long a method call may wait for its reply: the bus library's usual default, made
// explicit since vornic waits for replies itself. Connecting, handshake included, has the
// same bound.
inline constexpr uint64_t METHOD_CALL_TIMEOUT_USEC = 25'000'000;

// Opens a private connection to the system bus and finishes its handshake, so that the bus
// daemon's authentication timeout cannot cut it off later. Gives up after
// METHOD_CALL_TIMEOUT_USEC, whatever state the bus daemon is in. On failure writes the reason
// and returns null. The connection is released when the returned pointer goes.
BusPtr open_system_bus();

// The connection in `bus` if it is still up, otherwise a fresh one put in its place: the bus
// daemon may have restarted since `bus` was opened. Null when none can be had (the reason has
// been written); a call on null fails as on a connection the bus daemon dropped.
sd_bus* live_system_bus(BusPtr& bus);

// Reads and drops what other peers have sent to `bus`, at most a batch of messages, so that
// nothing piles up while nothing is called. Returns false when the connection has died.
bool drain_system_bus(sd_bus* bus);

// Calls `member` with the arguments `types`, ... (as sd_bus_message_append takes them) and
// waits at most METHOD_CALL_TIMEOUT_USEC for the reply. While it waits, it reads and drops
// every other message that arrives, so that nothing another peer sends piles up in memory.
// Returns a non-negative number with the reply in `reply`, or a negative errno with `error`
// filled in, as sd_bus_call_method does.
int call_method(sd_bus* bus, const char* destination, const char* path, const char* interface,
                const char* member, BusError& error, BusMessagePtr& reply, const char* types,
                ...);

// Asks the bus daemon itself whether `name` has an owner: 1 or 0, or a negative errno with
// `error` filled in. Nothing but the daemon sees the question.
int name_has_owner(sd_bus* bus, const char* name, BusError& error);
