// SPDX-License-Identifier: MIT
// Test peer that floods the bus connections of one process with unicast signals, as any user
// may on a system bus:
//   flood PID COUNT BYTES    send COUNT signals (0: without end) carrying BYTES bytes each to
//                            every connection PID opens, until PID has exited
// Prints "flooding NAME" when it finds one of PID's connections, and "flooded NAME N" once N
// signals have gone to it (when the count is reached or the connection is gone).
//   flood --connections PID  open connections to the system bus socket without ever
//                            authenticating, as many as it takes, until PID has exited
// Prints "connections N refused M" at the end: N opened, M refused by a full queue.
#include "common/handles.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
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

// Opens connections to the bus daemon in bursts, as anyone who can open its socket can, and
// never authenticates them. The daemon drops the oldest of those it is still authenticating
// when they are too many; the oldest are let go here too, to stay within the descriptor limit.
int flood_connections(pid_t pid) {
    constexpr size_t HELD = 900;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, "/run/dbus/system_bus_socket");
    std::deque<int> held;
    unsigned long opened = 0, refused = 0;
    while (alive(pid)) {
        // A burst, then a pause: a daemon kept busy without one, or on a machine that is
        // busy already, stops the whole bus, which no client of it can get past. Bursts of
        // 128 every 20 ms did so on a 2-core machine running other builds.
        for (int burst = 0; burst < 32; burst++) {
            int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0)
                return 1;
            if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                errno != EINPROGRESS) {
                refused += errno == EAGAIN;
                close(fd);
                break;
            }
            opened++;
            held.push_back(fd);
            if (held.size() > HELD) {
                close(held.front());
                held.pop_front();
            }
        }
        timespec pause = {.tv_sec = 0, .tv_nsec = 50'000'000};
        nanosleep(&pause, nullptr);
    }
    printf("connections %lu refused %lu\n", opened, refused);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && strcmp(argv[1], "--connections") == 0)
        return flood_connections(static_cast<pid_t>(atol(argv[2])));
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
