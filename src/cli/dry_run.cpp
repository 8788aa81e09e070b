// SPDX-License-Identifier: MIT
// Looks at what an action's plan depends on, read-only, and prints the preview of it.
#include "cli/dry_run.h"

#include "common/unique_fd.h"
#include "config/config.h"
#include "handler/plan.h"
#include "handler/preview.h"
#include "handler/sysfs.h"
#include "platform/ir_lights.h"
#include "platform/system_bus.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

// The first line of a GPIO value file, or nothing when it cannot be read. A value file is a
// digit and a line break; more is not worth showing.
std::optional<std::string> read_gpio_value(const std::string& path) {
    // Without waiting, in case something other than a value file sits at the path.
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    char buffer[32];
    ssize_t length = read(fd.get(), buffer, sizeof buffer);
    if (length < 0)
        return std::nullopt;
    std::string value(buffer, static_cast<size_t>(length));
    return value.substr(0, value.find('\n'));
}

void look_at_gpios(const std::vector<std::string>& names, CameraState& camera) {
    for (const std::string& name : names) {
        std::optional<std::string> path = gpio_value_path(name);
        std::optional<std::string> value = path ? read_gpio_value(*path) : std::nullopt;
        if (value)
            camera.gpio_values[name] = *value;
    }
}

void look_at_devices(const std::vector<std::string>& devices, CameraState& camera) {
    AttributePath bind;
    for (const std::string& device : devices) {
        if (is_device_bound(device.c_str()))
            camera.bound_devices.insert(device);
        if (driver_attribute_path(bind, device, "bind") != 0 && access(bind.data(), F_OK) == 0)
            camera.attributes.insert(bind.data());
    }
}

ScriptState look_at_script(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0)
        return ScriptState::missing;
    return S_ISREG(status.st_mode) && access(path, X_OK) == 0 ? ScriptState::executable
                                                              : ScriptState::not_executable;
}

CameraState look_at_camera(const Plan& plan) {
    CameraState camera;
    for (const Step& step : plan.steps) {
        switch (step.kind) {
        case StepKind::set_gpios_high:
        case StepKind::set_gpios_low:
            look_at_gpios(*step.names, camera);
            break;
        case StepKind::end_if_all_bound:
        case StepKind::end_if_none_bound:
        case StepKind::unbind_drivers:
        case StepKind::bind_drivers:
            look_at_devices(*step.names, camera);
            break;
        case StepKind::ir_lights:
            camera.ir_script = look_at_script(IR_SCRIPT_PATH);
            break;
        default:
            break;
        }
    }

    std::set<std::string> names = bus_names_used(plan);
    if (names.empty())
        return camera;
    // Without a bus, every name stays unknown; opening it has said why.
    BusPtr bus = open_system_bus();
    if (!bus)
        return camera;
    for (const std::string& name : names) {
        BusError error;
        int r = name_has_owner(bus.get(), name.c_str(), error);
        if (r >= 0)
            camera.bus_names[name] = r ? NameOwner::owned : NameOwner::none;
    }
    return camera;
}

} // namespace

int dry_run(ActionCode action) {
    std::optional<HandlerConfig> config = load_config(CONFIG_PATH);
    if (!config) {
        fprintf(stderr, "Failed to get configuration\n");
        return 1;
    }
    Plan plan = plan_action(action, *config, false);
    Preview preview = preview_plan(plan, look_at_camera(plan));
    for (const std::string& line : preview.lines)
        printf("%s\n", line.c_str());
    fflush(stdout);
    return preview.ready ? 0 : 1;
}
