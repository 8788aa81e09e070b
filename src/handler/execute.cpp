// Steps of an action in their fixed order: GPIOs, state test, stop services, drivers, reload
// and start services, then the microphone swap and IR lights after an attach. The first
// required step that fails ends the sequence; nothing done before it is undone.
#include "handler/execute.h"

#include "common/printable.h"
#include "handler/progress.h"
#include "handler/sysfs.h"
#include "platform/ir_lights.h"
#include "platform/mic_swap.h"
#include "platform/service_control.h"

#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// Longest GPIO value path the kernel's attribute naming allows here.
constexpr size_t MAX_GPIO_PATH = 254;

bool set_gpios(const std::vector<std::string>& names, ActionCode action) {
    const uint8_t value = action == DETACH ? 0 : 1;
    const char* state = action == DETACH ? "inactive" : "active";
    progress("<%d> Setting GPIOs...\n", LOG_INFO);
    for (const std::string& name : names) {
        std::string path = "/sys/class/gpio/" + name + "/value";
        if (path.size() > MAX_GPIO_PATH)
            return false;
        if (write_gpio_value(path.c_str(), value) < 0) {
            int error = errno;
            fprintf(stderr, "<%d> Failed to set GPIO %s to %s: %s\n", LOG_ERR,
                    printable(name).c_str(), state, strerror(error));
            return false;
        }
    }
    return true;
}

// True when the devices are already as the action would leave them. A re-attach is never
// skipped: its point is to redo the drivers whatever their state.
bool already_done(ActionCode action, const HandlerConfig& config) {
    if (action == ATTACH && config.bind_devices) {
        for (const std::string& device : *config.bind_devices)
            if (!is_device_bound(device.c_str()))
                return false;
        return true;
    }
    if (action == DETACH && config.unbind_devices) {
        for (const std::string& device : *config.unbind_devices)
            if (is_device_bound(device.c_str()))
                return false;
        return true;
    }
    return false;
}

bool change_drivers(ActionCode action, const HandlerConfig& config) {
    const StringList& bind = config.bind_devices;
    const StringList& unbind = config.unbind_devices;
    switch (action) {
    case ATTACH:
        if (!bind)
            return true;
        progress("<%d> Binding drivers...\n", LOG_INFO);
        return set_driver_binding("bind", *bind, false) == 0;
    case DETACH:
        if (!unbind)
            return true;
        progress("<%d> Un-Binding drivers...\n", LOG_INFO);
        return set_driver_binding("unbind", *unbind, true) == 0;
    case REATTACH:
        if (!bind && !unbind)
            return true;
        progress("<%d> Re-Binding drivers...\n", LOG_INFO);
        if (unbind && set_driver_binding("unbind", *unbind, true) != 0)
            return false;
        return !bind || set_driver_binding("bind", *bind, false) == 0;
    case NONE:
        break;
    }
    return true;
}

bool run_services(sd_bus* bus, const StringList& services, const char* line, const char* method,
                  bool reverse) {
    if (!services)
        return true;
    progress(line, LOG_INFO);
    return run_service_action(bus, *services, method, reverse) == 0;
}

enum class Reconfigured { done, nothing_to_do, failed };

// The GPIOs are set even when the devices turn out to be in place already.
Reconfigured reconfigure(ActionCode action, const HandlerConfig& config, sd_bus* bus) {
    if (config.set_gpio && !set_gpios(*config.set_gpio, action))
        return Reconfigured::failed;
    if (already_done(action, config))
        return Reconfigured::nothing_to_do;
    bool done = run_services(bus, config.startstop_services, "<%d> Stopping services...\n",
                             "StopService", true) &&
                change_drivers(action, config) &&
                run_services(bus, config.reload_services, "<%d> Reloading services...\n",
                             "ReloadService", false) &&
                run_services(bus, config.startstop_services, "<%d> Starting services...\n",
                             "StartService", false);
    return done ? Reconfigured::done : Reconfigured::failed;
}

// After an attach the platform needs the roll angle and the IR lights re-applied. Neither
// can fail the action: the accessory itself is already configured.
void follow_up(const HandlerConfig& config) {
    if (config.has(TRIGGER_MIC_SWAP))
        request_mic_swap();
    if (config.has(SYNC_IRLIGHT)) {
        if (sync_ir_lights() != 0)
            fprintf(stderr, "<%d> Failed to synchronize IR lights with DayNight filter\n",
                    LOG_ERR);
        else
            progress("<%d> IR lights status synchronized with DayNight filter\n", LOG_INFO);
    }
}

} // namespace

void reboot_fallback(sd_bus* bus) {
    progress("<%d> Action failed, resorting to reboot...\n", LOG_INFO);
    if (call_system_method(bus, "Reboot") != 0)
        fprintf(stderr, "<%d> Unable to reboot the system after Vornic actions handle failed\n",
                LOG_ALERT);
}

int execute_action(ActionCode action, const HandlerConfig& config, sd_bus* bus) {
    switch (reconfigure(action, config, bus)) {
    case Reconfigured::failed:
        if (!config.has(NEVER_REBOOT))
            reboot_fallback(bus);
        return 1;
    case Reconfigured::nothing_to_do:
        progress("<%d> Device state matches the requested action, nothing to do\n", LOG_INFO);
        return 0;
    case Reconfigured::done:
        break;
    }
    if (action != DETACH)
        follow_up(config);
    progress("<%d> Action executed successfully\n", LOG_INFO);
    return 0;
}
