// SPDX-License-Identifier: MIT
// The simulated platform's running state, and the path every method call takes through it:
// the scripted delay, the scripted failure, the log line, the state file, the reply.
#pragma once

#include "scenario.h"

#include "common/handles.h"
#include "common/unique_fd.h"

#include <systemd/sd-event.h>

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <variant>
#include <vector>

struct EventSourceUnref {
    void operator()(sd_event_source* source) const { sd_event_source_unref(source); }
};
using EventSourcePtr = std::unique_ptr<sd_event_source, EventSourceUnref>;

struct Simulator;

// What a method does once its delay has passed: reads the arguments, changes the state and
// replies through the functions below. Returns what sd_bus_reply_* returned.
using Serve = int (*)(Simulator& sim, sd_bus_message* call);

struct DelayedCall {
    EventSourcePtr timer;
    BusMessagePtr call;
    Serve serve;
};

struct Simulator {
    Scenario scenario;

    // The platform as vornic leaves it. A service never called counts as running.
    std::map<std::string, bool> running;
    bool reboot_requested = false;
    double roll = 0;

    UniqueFd log;
    // Registered with the bus, which keeps pointers into them: declared before anything that
    // holds a reference to the bus, so that they are destroyed after it.
    std::list<std::vector<sd_bus_vtable>> vtables;
    std::list<DelayedCall> delayed;
};

// A value in a reply, appended to the message with its own D-Bus type.
using Value = std::variant<std::string, double, int32_t>;

// Opens the log named by the scenario, if any. Returns 0 or a negative errno.
int open_log(Simulator& sim);

// Serves `call` now, or after the delay scripted for its method.
int dispatch(Simulator& sim, sd_bus_message* call, Serve serve);

// The method call as the log shows it: Name(arguments).
std::string call_text(sd_bus_message* call, const std::vector<Value>& arguments);

// Logs the call as failed and replies with the scripted error message.
int reply_failure(Simulator& sim, sd_bus_message* call, const std::string& text,
                  const std::string& message);

// Records the (possibly changed) state, logs the call, and replies with `values`. Both files
// are written before the reply, so a caller that has its reply finds them up to date.
int reply_values(Simulator& sim, sd_bus_message* call, const std::string& text,
                 const std::vector<Value>& values);

// Rewrites the state file; readers see the old or the new file, never a part.
void write_state(const Simulator& sim);

// A string as the log writes it: quoted, with quotes, backslashes and control bytes escaped.
std::string quoted(const std::string& text);
