// The connection to the D-Bus system bus, over which vornic talks to the platform's services.
#pragma once

#include "common/handles.h"

// Opens a private connection to the system bus. On failure writes the reason and returns null.
// The connection is released when the returned pointer goes, on every path.
BusPtr open_system_bus();
