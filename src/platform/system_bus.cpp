// Connects to the system bus named by systemd's usual rules (DBUS_SYSTEM_BUS_ADDRESS or the
// well-known socket).
#include "platform/system_bus.h"

#include <syslog.h>

#include <cstdio>
#include <cstring>

BusPtr open_system_bus() {
    sd_bus* bus = nullptr;
    int r = sd_bus_open_system(&bus);
    BusPtr owned(bus);
    // sd-bus leaves the handshake to the first call, but the bus daemon drops a connection
    // that has not finished it within its auth_timeout (30 s by default), and the handler's
    // first call can come later than that. Asking for the unique name finishes it now.
    const char* unique_name = nullptr;
    if (r >= 0)
        r = sd_bus_get_unique_name(bus, &unique_name);
    if (r < 0) {
        fprintf(stderr, "<%d> Failed to connect to system bus: %s\n", LOG_ERR, strerror(-r));
        return nullptr;
    }
    return owned;
}
