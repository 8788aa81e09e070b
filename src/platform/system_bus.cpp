// Connects to the system bus named by systemd's usual rules (DBUS_SYSTEM_BUS_ADDRESS or the
// well-known socket).
#include "platform/system_bus.h"

#include <syslog.h>

#include <cstdio>
#include <cstring>

BusPtr open_system_bus() {
    sd_bus* bus = nullptr;
    int r = sd_bus_open_system(&bus);
    if (r < 0) {
        fprintf(stderr, "<%d> Failed to connect to system bus: %s\n", LOG_ERR, strerror(-r));
        return nullptr;
    }
    return BusPtr(bus);
}
