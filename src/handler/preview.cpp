// SPDX-License-Identifier: MIT
// Describes each step of a plan as the handler would carry it out, in the handler's order
// (services stopped last to first), next to the state the step depends on.
#include "handler/preview.h"

#include "common/printable.h"
#include "handler/sysfs.h"
#include "platform/ir_lights.h"
#include "platform/mic_swap.h"
#include "platform/service_control.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

__attribute__((format(printf, 1, 2))) std::string formatted(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    char small[256];
    int length = vsnprintf(small, sizeof small, pattern, args);
    va_end(args);
    if (length < 0)
        return {};
    if (static_cast<size_t>(length) < sizeof small)
        return small;
    std::string line(static_cast<size_t>(length), '\0');
    va_start(args, pattern);
    vsnprintf(line.data(), line.size() + 1, pattern, args);
    va_end(args);
    return line;
}

// The platform service a step calls on, or null.
const char* bus_name_of(StepKind kind) {
    switch (kind) {
    case StepKind::stop_services:
    case StepKind::reload_services:
    case StepKind::start_services:
        return SERVICE_CONTROL_BUS_NAME;
    case StepKind::mic_swap:
        return CAMERA_VIEW_BUS_NAME;
    case StepKind::ir_lights:
        return OPTICS_BUS_NAME;
    default:
        return nullptr;
    }
}

// A preview in the making.
struct Walk {
    const CameraState& camera;
    // Bound devices as the steps so far leave them: an unbind before a bind unbinds.
    std::set<std::string> bound;
    Preview preview;
};

void add(Walk& walk, std::string line, bool found = true) {
    walk.preview.lines.push_back(std::move(line));
    walk.preview.ready = walk.preview.ready && found;
}

// What the bus says about `name`, and whether a call to it would find it.
std::pair<std::string, bool> owner(const Walk& walk, const char* name) {
    auto known = walk.camera.bus_names.find(name);
    NameOwner state = known == walk.camera.bus_names.end() ? NameOwner::unknown : known->second;
    switch (state) {
    case NameOwner::owned:
        return {formatted("%s has an owner", name), true};
    case NameOwner::none:
        return {formatted("%s has no owner on the system bus", name), false};
    case NameOwner::unknown:
        break;
    }
    return {formatted("the system bus cannot say whether %s has an owner", name), false};
}

void gpios(Walk& walk, const std::vector<std::string>& names, int value) {
    for (const std::string& name : names) {
        std::string shown = printable(name);
        std::optional<std::string> path = gpio_value_path(name);
        auto now = walk.camera.gpio_values.find(name);
        if (!path)
            add(walk,
                formatted("set GPIO %s to %d: its value path is too long, setting it fails",
                          shown.c_str(), value),
                false);
        else if (now == walk.camera.gpio_values.end())
            add(walk,
                formatted("set GPIO %s to %d: %s cannot be read, setting it fails", shown.c_str(),
                          value, printable(*path).c_str()),
                false);
        else
            add(walk, formatted("set GPIO %s to %d: now %s", shown.c_str(), value,
                                printable(now->second).c_str()));
    }
}

// Returns true when the test would find the action in place and end it.
bool state_test(Walk& walk, const std::vector<std::string>& devices, bool in_place_when_bound) {
    for (const std::string& device : devices) {
        bool bound = walk.bound.contains(device);
        add(walk, formatted("state test: %s is %s", printable(device).c_str(),
                            bound ? "bound" : "not bound"));
        if (bound != in_place_when_bound) {
            add(walk, "state test: the action goes on");
            return false;
        }
    }
    add(walk, in_place_when_bound ? "state test: every device is bound, the action ends here"
                                  : "state test: no device is bound, the action ends here");
    return true;
}

void drivers(Walk& walk, const std::vector<std::string>& devices, const char* attribute) {
    const bool binding = std::string_view(attribute) == "bind";
    AttributePath path;
    for (const std::string& device : devices) {
        std::string shown = printable(device);
        if (driver_attribute_path(path, device, attribute) == 0) {
            add(walk,
                formatted("%s %s: no driver directory part, the step fails", attribute,
                          shown.c_str()),
                false);
        } else if (!binding) {
            add(walk, formatted("unbind %s: %s", shown.c_str(),
                                walk.bound.contains(device)
                                    ? "bound"
                                    : "not bound, a refused write is passed over"));
            walk.bound.erase(device);
        } else if (walk.bound.contains(device)) {
            add(walk, formatted("bind %s: bound, passed over", shown.c_str()));
        } else if (walk.camera.attributes.contains(path.data())) {
            add(walk, formatted("bind %s: its name goes to %s", shown.c_str(),
                                printable(path.data()).c_str()));
        } else {
            add(walk,
                formatted("bind %s: there is no %s, the bind fails", shown.c_str(),
                          printable(path.data()).c_str()),
                false);
        }
    }
}

void services(Walk& walk, const Step& step, const char* verb) {
    auto [state, found] = owner(walk, SERVICE_CONTROL_BUS_NAME);
    auto each = [&](const std::string& service) {
        add(walk, formatted("%s service %s: %s", verb, printable(service).c_str(), state.c_str()),
            found);
    };
    // The handler stops services in the reverse of the order it starts them.
    if (step.kind == StepKind::stop_services)
        std::for_each(step.names->rbegin(), step.names->rend(), each);
    else
        std::for_each(step.names->begin(), step.names->end(), each);
}

void ir_lights(Walk& walk) {
    auto [state, found] = owner(walk, OPTICS_BUS_NAME);
    add(walk, formatted("sync IR lights: %s", state.c_str()), found);
    switch (walk.camera.ir_script) {
    case ScriptState::executable:
        add(walk, formatted("sync IR lights: %s is executable", IR_SCRIPT_PATH));
        break;
    case ScriptState::not_executable:
        add(walk, formatted("sync IR lights: %s is not executable", IR_SCRIPT_PATH), false);
        break;
    case ScriptState::missing:
        add(walk, formatted("sync IR lights: %s is missing", IR_SCRIPT_PATH), false);
        break;
    }
}

// Returns false when the action would end at this step.
bool preview_step(Walk& walk, const Step& step) {
    switch (step.kind) {
    case StepKind::set_gpios_high:
        gpios(walk, *step.names, 1);
        break;
    case StepKind::set_gpios_low:
        gpios(walk, *step.names, 0);
        break;
    case StepKind::end_if_all_bound:
        return !state_test(walk, *step.names, true);
    case StepKind::end_if_none_bound:
        return !state_test(walk, *step.names, false);
    case StepKind::stop_services:
        services(walk, step, "stop");
        break;
    case StepKind::unbind_drivers:
        drivers(walk, *step.names, "unbind");
        break;
    case StepKind::bind_drivers:
        drivers(walk, *step.names, "bind");
        break;
    case StepKind::reload_services:
        services(walk, step, "reload");
        break;
    case StepKind::start_services:
        services(walk, step, "start");
        break;
    case StepKind::mic_swap: {
        auto [state, found] = owner(walk, CAMERA_VIEW_BUS_NAME);
        add(walk, formatted("swap microphones: %s", state.c_str()), found);
        break;
    }
    case StepKind::ir_lights:
        ir_lights(walk);
        break;
    case StepKind::report_success:
        add(walk, "report success");
        break;
    }
    return true;
}

} // namespace

std::set<std::string> bus_names_used(const Plan& plan) {
    std::set<std::string> names;
    for (const Step& step : plan.steps)
        if (const char* name = bus_name_of(step.kind))
            names.insert(name);
    if (plan.reboot_on_failure)
        names.insert(SERVICE_CONTROL_BUS_NAME);
    return names;
}

Preview preview_plan(const Plan& plan, const CameraState& camera) {
    Walk walk{.camera = camera, .bound = camera.bound_devices, .preview = {}};
    for (const Step& step : plan.steps)
        if (!preview_step(walk, step))
            break;
    if (plan.reboot_on_failure) {
        auto [state, found] = owner(walk, SERVICE_CONTROL_BUS_NAME);
        add(walk, formatted("on failure: reboot, %s", state.c_str()), found);
    } else {
        add(walk, "on failure: no reboot (never_reboot)");
    }
    return walk.preview;
}
