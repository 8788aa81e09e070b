// SPDX-License-Identifier: MIT
// Test peer that floods the bus connections of one process with unicast signals, as any user
// may on a system bus:
//   flood PID COUNT BYTES    send COUNT signals (0: without end) carrying BYTES bytes each to
//                            every connection PID opens, until PID has exited
// Prints "flooding NAME" when it finds one of PID's connections, and "flooded NAME N" once N
// signals have gone to it (when the count is reached or the connection is gone).
#include "common/handles.h"

#include <signal.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr const char* DBUS = "org.freedesktop.DBus";
constexpr const char* DBUS_PATH = "/org/freedesktop/DBus";

// Messages written before waiting for the socket to drain.
constexpr unsigned BATCH = 256;

// The flooder has no right to signal the process, but may ask whether it exists.
bool alive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

bool owned_by(sd_bus* bus, const char* name, pid_t pid) {
    BusError error;
    sd_bus_message* reply = nullptr;
    uint32_t owner = 0;
    int r = sd_bus_call_method(bus, DBUS, DBUS_PATH, DBUS, "GetConnectionUnixProcessID",
                               error.get(), &reply, "s", name);
    BusMessagePtr owned(reply);
    return r >= 0 && sd_bus_message_read(reply, "u", &owner) >= 0 && owner == uint32_t(pid);
}

bool has_owner(sd_bus* bus, const char* name) {
    BusError error;
    sd_bus_message* reply = nullptr;
    int has = 0;
    int r = sd_bus_call_method(bus, DBUS, DBUS_PATH, DBUS, "NameHasOwner", error.get(), &reply,
                               "s", name);
    BusMessagePtr owned(reply);
    return r >= 0 && sd_bus_message_read(reply, "b", &has) >= 0 && has;
}

std::vector<std::string> unique_names(sd_bus* bus) {
    BusError error;
    sd_bus_message* reply = nullptr;
    std::vector<std::string> names;
    int r = sd_bus_call_method(bus, DBUS, DBUS_PATH, DBUS, "ListNames", error.get(), &reply, "");
    BusMessagePtr owned(reply);
    if (r < 0 || sd_bus_message_enter_container(reply, 'a', "s") < 0)
        return names;
    const char* name = nullptr;
    while (sd_bus_message_read_basic(reply, 's', &name) > 0)
        if (name[0] == ':')
            names.emplace_back(name);
    return names;
}

// Sends signals to `name` until `count` have gone (forever when 0), the name is gone or the
// process is. Returns how many were sent.
unsigned long flood(sd_bus* bus, const std::string& name, unsigned long count,
                    const std::vector<uint8_t>& payload, pid_t pid) {
    unsigned long sent = 0;
    while (count == 0 || sent < count) {
        for (unsigned i = 0; i < BATCH && (count == 0 || sent < count); i++, sent++) {
            sd_bus_message* raw = nullptr;
            if (sd_bus_message_new_signal(bus, &raw, "/flood", "test.Flood", "Noise") < 0)
                return sent;
            BusMessagePtr signal(raw);
            if (sd_bus_message_set_destination(raw, name.c_str()) < 0 ||
                sd_bus_message_append_array(raw, 'y', payload.data(), payload.size()) < 0 ||
                sd_bus_send(bus, raw, nullptr) < 0)
                return sent;
        }
        if (sd_bus_flush(bus) < 0)
            return sent;
        // Errors the daemon sends back are not read otherwise.
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        if (!alive(pid) || !has_owner(bus, name.c_str()))
            break;
    }
    return sent;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s PID COUNT BYTES\n", argv[0]);
        return 2;
    }
    pid_t pid = static_cast<pid_t>(atol(argv[1]));
    unsigned long count = strtoul(argv[2], nullptr, 10);
    std::vector<uint8_t> payload(strtoul(argv[3], nullptr, 10), 'x');

    sd_bus* raw = nullptr;
    if (sd_bus_open_system(&raw) < 0) {
        fprintf(stderr, "flood: no system bus\n");
        return 1;
    }
    BusPtr bus(raw);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::set<std::string> seen;
    while (alive(pid)) {
        for (const std::string& name : unique_names(bus.get())) {
            if (!seen.insert(name).second || !owned_by(bus.get(), name.c_str(), pid))
                continue;
            printf("flooding %s\n", name.c_str());
            printf("flooded %s %lu\n", name.c_str(), flood(bus.get(), name, count, payload, pid));
        }
        // Looking again every 10 ms catches a connection within its handshake's
        // time; the process's first call comes after it.
        sd_bus_wait(bus.get(), 10000);
    }
    return 0;
}
