// SPDX-License-Identifier: MIT
// Connects to the system bus named by systemd's usual rules (DBUS_SYSTEM_BUS_ADDRESS or the
// well-known socket) within a bound, and calls methods without letting unrelated messages
// accumulate.
#include "platform/system_bus.h"

#include "common/monotonic.h"

#include <poll.h>
#include <syslog.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Messages read in one go while nothing is called; a flood gets no more than this before the
// caller's other events are looked at again.
constexpr int DRAIN_BATCH = 64;

// After a refused attempt to connect, the pause before the next, doubling up to the longest.
constexpr uint64_t FIRST_RETRY_USEC = 5'000;
constexpr uint64_t LONGEST_RETRY_USEC = 200'000;

// Runs `bus` until `done()` is non-zero (negative: an error, returned as it is), or until
// `deadline`: -ETIMEDOUT then. The bus library's own timers are not relied on for the bound:
// its timer for a call was seen never to fire on a bus daemon that stopped answering, and its
// handshake waits up to 90 s.
template <typename Done>
int run_until(sd_bus* bus, uint64_t deadline, Done done) {
    for (;;) {
        int r = done();
        if (r != 0)
            return r < 0 ? r : 0;
        r = sd_bus_process(bus, nullptr);
        if (r < 0)
            return r;
        if (r > 0)
            continue;
        uint64_t now = monotonic_usec();
        if (now >= deadline)
            return -ETIMEDOUT;
        r = sd_bus_wait(bus, deadline - now);
        if (r < 0 && r != -EINTR)
            return r;
    }
}

// Failures a new attempt can get past: the bus daemon's listen queue is full, or it dropped
// the connection before its handshake was done, which it does to the oldest incomplete
// connection when too many are open. Anyone may open such connections, without any right.
bool worth_retrying(int r) { return r == -EAGAIN || r == -ECONNRESET || r == -EPIPE; }

// Whether the peer of `bus` has hung up: a restarted bus daemon shows so on the socket
// before sd-bus has read the end of the stream.
bool hung_up(sd_bus* bus) {
    pollfd fd = {.fd = sd_bus_get_fd(bus), .events = POLLRDHUP, .revents = 0};
    return fd.fd < 0 || (poll(&fd, 1, 0) > 0 && (fd.revents & (POLLRDHUP | POLLHUP | POLLERR)));
}

struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

// The reply (or error, or the library's timeout error) once it has come.
struct AwaitedReply {
    bool arrived = false;
    BusMessagePtr message;
};

int on_reply(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* awaited = static_cast<AwaitedReply*>(userdata);
    awaited->message.reset(sd_bus_message_ref(message));
    awaited->arrived = true;
    return 0;
}

// Sends `call` and runs the connection until its reply has come, or the bound has passed. A
// blocking sd_bus_call would keep every other message read meanwhile in the connection's
// queue, and any user may send signals to any connection: a flood of them would fill memory
// and, past the queue's limit, fail the call. Processing them instead hands each to no
// handler, which frees it at once.
int call_and_wait(sd_bus* bus, sd_bus_message* call, BusError& error, BusMessagePtr& reply) {
    const uint64_t deadline = monotonic_usec() + METHOD_CALL_TIMEOUT_USEC;
    AwaitedReply awaited;
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_call_async(bus, &slot, call, on_reply, &awaited, METHOD_CALL_TIMEOUT_USEC);
    SlotPtr owned_slot(slot);
    if (r >= 0)
        r = run_until(bus, deadline, [&awaited] { return awaited.arrived ? 1 : 0; });
    if (r == -ETIMEDOUT)
        return sd_bus_error_set(error.get(), SD_BUS_ERROR_TIMEOUT, "Method call timed out");
    if (r < 0)
        return sd_bus_error_set_errno(error.get(), r);
    if (sd_bus_message_is_method_error(awaited.message.get(), nullptr))
        return sd_bus_error_copy(error.get(), sd_bus_message_get_error(awaited.message.get()));
    reply = std::move(awaited.message);
    return 1;
}

} // namespace

BusPtr open_system_bus() {
    const uint64_t deadline = monotonic_usec() + METHOD_CALL_TIMEOUT_USEC;
    uint64_t pause = FIRST_RETRY_USEC;
    for (;;) {
        sd_bus* raw = nullptr;
        int r = sd_bus_open_system(&raw);
        BusPtr bus(raw);
        // Connected once the bus daemon has taken the connection in (its Hello answered).
        if (r >= 0)
            r = run_until(bus.get(), deadline, [&bus] { return sd_bus_is_ready(bus.get()); });
        if (r >= 0)
            return bus;
        // There is nothing to wait on for room in the bus daemon's queue: a short pause it is.
        uint64_t now = monotonic_usec();
        if (!worth_retrying(r) || now + pause >= deadline) {
            fprintf(stderr, "<%d> Failed to connect to system bus: %s\n", LOG_ERR, strerror(-r));
            return nullptr;
        }
        timespec wait = {.tv_sec = 0, .tv_nsec = long(pause) * 1000};
        nanosleep(&wait, nullptr);
        pause = std::min(pause * 2, LONGEST_RETRY_USEC);
    }
}

sd_bus* live_system_bus(BusPtr& bus) {
    if (!bus || sd_bus_is_open(bus.get()) <= 0 || hung_up(bus.get()))
        bus = open_system_bus();
    return bus.get();
}

bool drain_system_bus(sd_bus* bus) {
    for (int i = 0; i < DRAIN_BATCH; i++) {
        int r = sd_bus_process(bus, nullptr);
        if (r < 0)
            return false;
        if (r == 0)
            break;
    }
    return sd_bus_is_open(bus) > 0;
}

int call_method(sd_bus* bus, const char* destination, const char* path, const char* interface,
                const char* member, BusError& error, BusMessagePtr& reply, const char* types,
                ...) {
    if (!bus)
        return sd_bus_error_set_errno(error.get(), -ENOTCONN);
    sd_bus_message* raw_call = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw_call, destination, path, interface, member);
    BusMessagePtr call(raw_call);
    if (r >= 0) {
        va_list args;
        va_start(args, types);
        r = sd_bus_message_appendv(call.get(), types, args);
        va_end(args);
    }
    if (r < 0)
        return sd_bus_error_set_errno(error.get(), r);
    return call_and_wait(bus, call.get(), error, reply);
}

int name_has_owner(sd_bus* bus, const char* name, BusError& error) {
    BusMessagePtr reply;
    int r = call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                        "org.freedesktop.DBus", "NameHasOwner", error, reply, "s", name);
    if (r < 0)
        return r;
    int owned = 0;
    r = sd_bus_message_read_basic(reply.get(), 'b', &owned);
    if (r < 0)
        return sd_bus_error_set_errno(error.get(), r);
    return owned ? 1 : 0;
}
