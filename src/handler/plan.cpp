// SPDX-License-Identifier: MIT
// The fixed order of an action: GPIOs, the state test, stop services, drivers, reload and start
// services, then the microphone swap and IR lights unless the accessory went away.
#include "handler/plan.h"

Plan plan_action(ActionCode action, const HandlerConfig& config, bool begun) {
    Plan plan = {.steps = {}, .reboot_on_failure = !config.has(NEVER_REBOOT)};
    // A step on a list that the configuration leaves out is no step at all.
    auto add = [&plan](StepKind kind, const StringList& names, const char* line) {
        if (names)
            plan.steps.push_back({.kind = kind, .names = &*names, .line = line});
        return names.has_value();
    };

    // The GPIOs are set even when the devices turn out to be in place already.
    add(action == DETACH ? StepKind::set_gpios_low : StepKind::set_gpios_high, config.set_gpio,
        "<%d> Setting GPIOs...\n");
    // A re-attach is never skipped: its point is to redo the drivers whatever their state.
    if (action == ATTACH && !begun)
        add(StepKind::end_if_all_bound, config.bind_devices, nullptr);
    if (action == DETACH && !begun)
        add(StepKind::end_if_none_bound, config.unbind_devices, nullptr);

    add(StepKind::stop_services, config.startstop_services, "<%d> Stopping services...\n");
    switch (action) {
    case ATTACH:
        add(StepKind::bind_drivers, config.bind_devices, "<%d> Binding drivers...\n");
        break;
    case DETACH:
        add(StepKind::unbind_drivers, config.unbind_devices, "<%d> Un-Binding drivers...\n");
        break;
    case REATTACH: {
        const char* line = "<%d> Re-Binding drivers...\n";
        if (add(StepKind::unbind_drivers, config.unbind_devices, line))
            line = nullptr;
        add(StepKind::bind_drivers, config.bind_devices, line);
        break;
    }
    case NONE:
        break;
    }
    add(StepKind::reload_services, config.reload_services, "<%d> Reloading services...\n");
    add(StepKind::start_services, config.startstop_services, "<%d> Starting services...\n");

    // After an attach the platform needs the roll angle and the IR lights re-applied.
    if (action != DETACH) {
        if (config.has(TRIGGER_MIC_SWAP))
            plan.steps.push_back({.kind = StepKind::mic_swap});
        if (config.has(SYNC_IRLIGHT))
            plan.steps.push_back({.kind = StepKind::ir_lights});
    }
    plan.steps.push_back(
        {.kind = StepKind::report_success, .line = "<%d> Action executed successfully\n"});
    return plan;
}

const char* step_title(StepKind kind) {
    switch (kind) {
    case StepKind::set_gpios_high:
    case StepKind::set_gpios_low:
        return "setting GPIOs";
    case StepKind::end_if_all_bound:
    case StepKind::end_if_none_bound:
        return "testing the devices' state";
    case StepKind::stop_services:
        return "stopping services";
    case StepKind::unbind_drivers:
        return "unbinding drivers";
    case StepKind::bind_drivers:
        return "binding drivers";
    case StepKind::reload_services:
        return "reloading services";
    case StepKind::start_services:
        return "starting services";
    case StepKind::mic_swap:
        return "re-applying the roll angle";
    case StepKind::ir_lights:
        return "synchronizing the IR lights";
    case StepKind::report_success:
        break;
    }
    return "done";
}
