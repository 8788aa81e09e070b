// The connection to the D-Bus system bus, over which vornic talks to the platform's services.
#pragma once

#include "common/handles.h"

// Opens a private connection to the system bus. On failure writes the reason and returns null.
BusPtr open_system_bus();

// Drops the caller's reference to the connection; null is accepted.
inline void release_system_bus(BusPtr bus) { bus.reset(); }
