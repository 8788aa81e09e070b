// SPDX-License-Identifier: MIT
// Carries out the plan of an action step by step. The first required step that fails ends
// the sequence; nothing done before it is undone.
#include "handler/execute.h"

#include "common/printable.h"
#include "handler/plan.h"
#include "handler/progress.h"
#include "handler/status.h"
#include "handler/reboot_guard.h"
#include "handler/sysfs.h"
#include "platform/ir_lights.h"
#include "platform/mic_swap.h"
#include "platform/service_control.h"
#include "platform/system_bus.h"

#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

bool set_gpios(const std::vector<std::string>& names, uint8_t value) {
    const char* state = value == 0 ? "inactive" : "active";
    for (const std::string& name : names) {
        std::optional<std::string> path = gpio_value_path(name);
        if (!path)
            return false;
        if (write_gpio_value(path->c_str(), value) < 0) {
            int error = errno;
            fprintf(stderr, "<%d> Failed to set GPIO %s to %s: %s\n", LOG_ERR,
                    printable(name).c_str(), state, strerror(error));
            return false;
        }
    }
    return true;
}

bool all_bound(const std::vector<std::string>& devices, bool bound) {
    for (const std::string& device : devices)
        if (is_device_bound(device.c_str()) != bound)
            return false;
    return true;
}

void sync_ir_lights_and_report(sd_bus* bus) {
    if (sync_ir_lights(bus) != 0)
        fprintf(stderr, "<%d> Failed to synchronize IR lights with DayNight filter\n", LOG_ERR);
    else
        progress("<%d> IR lights status synchronized with DayNight filter\n", LOG_INFO);
}

enum class Next { go_on, failed, in_place };

Next run_step(const Step& step, BusPtr& bus) {
    if (step.line)
        progress(step.line, LOG_INFO);
    bool ok = true;
    switch (step.kind) {
    case StepKind::set_gpios_high:
        ok = set_gpios(*step.names, 1);
        break;
    case StepKind::set_gpios_low:
        ok = set_gpios(*step.names, 0);
        break;
    case StepKind::end_if_all_bound:
        return all_bound(*step.names, true) ? Next::in_place : Next::go_on;
    case StepKind::end_if_none_bound:
        return all_bound(*step.names, false) ? Next::in_place : Next::go_on;
    case StepKind::stop_services:
        ok = run_service_action(live_system_bus(bus), *step.names, "StopService", true) == 0;
        break;
    case StepKind::unbind_drivers:
        ok = set_driver_binding("unbind", *step.names, true) == 0;
        break;
    case StepKind::bind_drivers:
        ok = set_driver_binding("bind", *step.names, false) == 0;
        break;
    case StepKind::reload_services:
        ok = run_service_action(live_system_bus(bus), *step.names, "ReloadService", false) == 0;
        break;
    case StepKind::start_services:
        ok = run_service_action(live_system_bus(bus), *step.names, "StartService", false) == 0;
        break;
    case StepKind::mic_swap:
        request_mic_swap(live_system_bus(bus));
        break;
    case StepKind::ir_lights:
        sync_ir_lights_and_report(live_system_bus(bus));
        break;
    case StepKind::report_success:
        break;
    }
    return ok ? Next::go_on : Next::failed;
}

} // namespace

void reboot_fallback(BusPtr& bus) {
    progress("<%d> Action failed, resorting to reboot...\n", LOG_INFO);
    // The failure may have been the bus daemon's restart: the request then goes over a new
    // connection.
    if (call_system_method(live_system_bus(bus), "Reboot") != 0)
        fprintf(stderr, "<%d> Unable to reboot the system after Vornic actions handle failed\n",
                LOG_ALERT);
}

int execute_action(ActionCode action, bool begun, const HandlerConfig& config, BusPtr& bus) {
    Plan plan = plan_action(action, config, begun);
    for (const Step& step : plan.steps) {
        show_status("Carrying out %s: %s", action_word(action), step_title(step.kind));
        switch (run_step(step, bus)) {
        case Next::failed:
            if (plan.reboot_on_failure && may_reboot_after(step.kind))
                reboot_fallback(bus);
            return 1;
        case Next::in_place:
            progress("<%d> Device state matches the requested action, nothing to do\n",
                     LOG_INFO);
            reset_reboot_count();
            return 0;
        case Next::go_on:
            break;
        }
    }
    reset_reboot_count();
    return 0;
}
