// SPDX-License-Identifier: MIT
// The execution sequence as data: the steps an action takes for a configuration, in order,
// each with the progress line it starts with. Deciding the steps touches nothing, so every
// combination of action and configuration is checked without a platform.
#pragma once

#include "channel/action_code.h"
#include "config/config.h"

#include <string>
#include <vector>

enum class StepKind {
    set_gpios_high,
    set_gpios_low,
    end_if_all_bound,   // the action is in place already when every device is bound...
    end_if_none_bound,  // ...or when none of them is
    stop_services,      // last to first
    unbind_drivers,     // a failed write is passed over
    bind_drivers,
    reload_services,
    start_services,
    mic_swap,           // this and the IR lights cannot fail the action
    ir_lights,
    report_success,
};

struct Step {
    StepKind kind;
    // The step's GPIOs, devices or services, in the configuration's order; null for steps
    // that take none. Points into the configuration the plan was made from.
    const std::vector<std::string>* names = nullptr;
    // printf format of the progress line written when the step starts (its only argument is
    // the priority), or null.
    const char* line = nullptr;
};

struct Plan {
    std::vector<Step> steps;
    // Whether a failed step is followed by a request to reboot.
    bool reboot_on_failure = true;
};

// What a step does, in a few words, for the status line.
const char* step_title(StepKind kind);

// The steps `action` takes with `config`, which must outlive the plan. An action `begun` by an
// earlier run that was stopped or killed has no state test: the devices being in place tells
// nothing about the steps after them.
Plan plan_action(ActionCode action, const HandlerConfig& config, bool begun);
