// SPDX-License-Identifier: MIT
// Connects to the system bus named by systemd's usual rules (DBUS_SYSTEM_BUS_ADDRESS or the
// well-known socket), and calls methods without letting unrelated messages accumulate.
#include "platform/system_bus.h"

#include <syslog.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

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

// Sends `call` and runs the connection until its reply has come. A blocking sd_bus_call would
// keep every other message read meanwhile in the connection's queue, and any user may send
// signals to any connection: a flood of them would fill memory and, past the queue's limit,
// fail the call. Processing them instead hands each to no handler, which frees it at once.
int call_and_wait(sd_bus* bus, sd_bus_message* call, BusError& error, BusMessagePtr& reply) {
    AwaitedReply awaited;
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_call_async(bus, &slot, call, on_reply, &awaited, METHOD_CALL_TIMEOUT_USEC);
    SlotPtr owned_slot(slot);
    if (r < 0)
        return sd_bus_error_set_errno(error.get(), r);
    while (!awaited.arrived) {
        r = sd_bus_process(bus, nullptr);
        if (r < 0)
            return sd_bus_error_set_errno(error.get(), r);
        if (r > 0)
            continue;
        // The library's timer for the call bounds this wait.
        r = sd_bus_wait(bus, UINT64_MAX);
        if (r < 0 && r != -EINTR)
            return sd_bus_error_set_errno(error.get(), r);
    }
    if (sd_bus_message_is_method_error(awaited.message.get(), nullptr))
        return sd_bus_error_copy(error.get(), sd_bus_message_get_error(awaited.message.get()));
    reply = std::move(awaited.message);
    return 1;
}

} // namespace

BusPtr open_system_bus() {
    sd_bus* bus = nullptr;
    int r = sd_bus_open_system(&bus);
    BusPtr owned(bus);
    // sd-bus leaves the handshake to the first call, but the bus daemon drops a connection
    // that has not finished it within its auth_timeout (5 s on a stock system bus). Asking for
    // the unique name finishes it now.
    const char* unique_name = nullptr;
    if (r >= 0)
        r = sd_bus_get_unique_name(bus, &unique_name);
    if (r < 0) {
        fprintf(stderr, "<%d> Failed to connect to system bus: %s\n", LOG_ERR, strerror(-r));
        return nullptr;
    }
    return owned;
}

int call_method(sd_bus* bus, const char* destination, const char* path, const char* interface,
                const char* member, BusError& error, BusMessagePtr& reply, const char* types,
                ...) {
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
