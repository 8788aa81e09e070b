// SPDX-License-Identifier: MIT
// The simulated methods: what each reads, changes and replies. Names, paths, interfaces and
// signatures are the platform's own, since vornic hard-codes them.
#include "objects.h"

#include <cstdio>
#include <cstring>

namespace {

template <Serve serve> int handle(sd_bus_message* call, void* userdata, sd_bus_error*) {
    return dispatch(*static_cast<Simulator*>(userdata), call, serve);
}

// As `systemctl reboot` does it, without waiting: the caller already has its reply.
int reboot_machine(sd_bus* bus) {
    return sd_bus_call_method_async(bus, nullptr, "org.freedesktop.systemd1",
                                    "/org/freedesktop/systemd1",
                                    "org.freedesktop.systemd1.Manager", "StartUnit", nullptr,
                                    nullptr, "ss", "reboot.target", "replace-irreversibly");
}

// StopService, StartService and ReloadService take a service name, Reboot nothing.
int serve_control(Simulator& sim, sd_bus_message* call) {
    const char* method = sd_bus_message_get_member(call);
    bool reboot = strcmp(method, "Reboot") == 0;
    const char* service = "";
    if (!reboot) {
        int r = sd_bus_message_read(call, "s", &service);
        if (r < 0)
            return r;
    }
    std::vector<Value> arguments;
    if (!reboot)
        arguments.emplace_back(std::string(service));
    std::string text = call_text(call, arguments);
    if (const std::string* failure = scripted_failure(sim.scenario, method, service))
        return reply_failure(sim, call, text, *failure);

    if (reboot)
        sim.reboot_requested = true;
    else if (strcmp(method, "StopService") == 0)
        sim.running[service] = false;
    else if (strcmp(method, "StartService") == 0)
        sim.running[service] = true;
    else
        sim.running.try_emplace(service, true);

    std::vector<Value> values;
    if (sim.scenario.control_reply_value)
        values.emplace_back(*sim.scenario.control_reply_value);
    int r = reply_values(sim, call, text, values);
    if (r >= 0 && reboot && sim.scenario.reboot_machine)
        r = reboot_machine(sd_bus_message_get_bus(call));
    return r;
}

int serve_day_night(Simulator& sim, sd_bus_message* call) {
    std::string text = call_text(call, {});
    if (const std::string* failure = scripted_failure(sim.scenario, "GetDayNight", ""))
        return reply_failure(sim, call, text, *failure);
    if (sim.scenario.day_night_mistyped)
        return reply_values(sim, call, text, {int32_t{1}});
    return reply_values(sim, call, text, {sim.scenario.day_night});
}

int serve_status(Simulator& sim, sd_bus_message* call) {
    int32_t view = 0;
    int r = sd_bus_message_read(call, "i", &view);
    if (r < 0)
        return r;
    std::string text = call_text(call, {view});
    if (const std::string* failure =
            scripted_failure(sim.scenario, "GetStatus", std::to_string(view)))
        return reply_failure(sim, call, text, *failure);

    std::vector<Value> values;
    switch (sim.scenario.status_reply) {
    case StatusReply::normal:
        values = {"camera", "1920x1080", "normal", "ok", 0.0, 0.0, sim.roll};
        break;
    case StatusReply::short_reply:
        values = {"camera", "1920x1080", "normal", "ok", 0.0, 0.0};
        break;
    case StatusReply::mistyped:
        values = {0.0, 0.0, 0.0, 0.0, "0", "0", sim.roll};
        break;
    }
    return reply_values(sim, call, text, values);
}

int serve_roll(Simulator& sim, sd_bus_message* call) {
    int32_t view = 0;
    double roll = 0;
    int r = sd_bus_message_read(call, "id", &view, &roll);
    if (r < 0)
        return r;
    std::string text = call_text(call, {view, roll});
    if (const std::string* failure =
            scripted_failure(sim.scenario, "AbsoluteRoll", std::to_string(view)))
        return reply_failure(sim, call, text, *failure);
    sim.roll = roll;
    return reply_values(sim, call, text, {});
}

// sd-bus refuses to send a reply whose signature differs from the declared one, so each
// method declares what this run's scenario makes it reply.
const char* control_reply(const Scenario& scenario) {
    return scenario.control_reply_value ? "s" : "";
}

const char* status_reply(const Scenario& scenario) {
    switch (scenario.status_reply) {
    case StatusReply::short_reply:
        return "ssssdd";
    case StatusReply::mistyped:
        return "ddddssd";
    default:
        return "ssssddd";
    }
}

using Vtable = std::vector<sd_bus_vtable>;

Vtable service_control_vtable(const Scenario& scenario) {
    const char* reply = control_reply(scenario);
    return {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("StopService", "s", reply, handle<serve_control>, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("StartService", "s", reply, handle<serve_control>,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("ReloadService", "s", reply, handle<serve_control>,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("Reboot", "", reply, handle<serve_control>, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
}

Vtable optics_vtable(const Scenario& scenario) {
    const char* reply = scenario.day_night_mistyped ? "i" : "s";
    return {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("GetDayNight", "", reply, handle<serve_day_night>,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
}

Vtable camview_vtable(const Scenario& scenario) {
    return {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("GetStatus", "i", status_reply(scenario), handle<serve_status>,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD("AbsoluteRoll", "id", "", handle<serve_roll>, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
}

struct Service {
    bool Scenario::*present;
    const char* name;
    const char* object;
    const char* interface;
    Vtable (*vtable)(const Scenario&);
};

const Service services[] = {
    {&Scenario::service_control, "com.norv.PolicyKitSystem", "/com/norv/PolicyKitSystem",
     "com.norv.PolicyKitSystem", service_control_vtable},
    {&Scenario::optics, "com.norv.Optics2", "/com/norv/Optics0", "com.norv.DayNight1",
     optics_vtable},
    {&Scenario::camview, "com.norv.CamViewSetup.Setup", "/com/norv/CamViewSetup/Setup",
     "com.norv.CamViewSetup.Setup", camview_vtable},
};

} // namespace

int serve_platform(sd_bus* bus, Simulator& sim) {
    for (const Service& service : services) {
        if (!(sim.scenario.*service.present))
            continue;
        const Vtable& vtable = sim.vtables.emplace_back(service.vtable(sim.scenario));
        int r = sd_bus_add_object_vtable(bus, nullptr, service.object, service.interface,
                                         vtable.data(), &sim);
        if (r < 0) {
            fprintf(stderr, "vornic-platform-sim: cannot serve %s: %s\n", service.object,
                    strerror(-r));
            return r;
        }
        // Synchronous, so that once this returns the names are owned and callers can be let in.
        r = sd_bus_request_name(bus, service.name, 0);
        if (r < 0) {
            fprintf(stderr, "vornic-platform-sim: cannot own %s: %s\n", service.name, strerror(-r));
            return r;
        }
    }
    return 0;
}
