// The steps of every action for the configurations that change them: which steps, in which
// order, with which lists and progress lines, and whether a failure asks for a reboot.
#include "handler/plan.h"

#include <gtest/gtest.h>

#include <syslog.h>

#include <algorithm>
#include <cstdio>

namespace {

const char* kind_name(StepKind kind) {
    switch (kind) {
    case StepKind::set_gpios_high: return "gpios high";
    case StepKind::set_gpios_low: return "gpios low";
    case StepKind::end_if_all_bound: return "end if all bound";
    case StepKind::end_if_none_bound: return "end if none bound";
    case StepKind::stop_services: return "stop";
    case StepKind::unbind_drivers: return "unbind";
    case StepKind::bind_drivers: return "bind";
    case StepKind::reload_services: return "reload";
    case StepKind::start_services: return "start";
    case StepKind::mic_swap: return "mic swap";
    case StepKind::ir_lights: return "ir lights";
    case StepKind::report_success: return "success";
    }
    return "?";
}

// Each step but the closing report as its progress line, if any, then "kind: names".
std::vector<std::string> describe(const Plan& plan) {
    std::vector<std::string> lines;
    for (const Step& step : plan.steps) {
        if (step.kind == StepKind::report_success)
            continue;
        if (step.line) {
            char line[128];
            snprintf(line, sizeof line, step.line, LOG_INFO);
            lines.emplace_back(line);
        }
        std::string text = kind_name(step.kind);
        if (step.names) {
            text += ":";
            for (const std::string& name : *step.names)
                text += " " + name;
        }
        lines.push_back(text);
    }
    return lines;
}

const HandlerConfig full = {.bind_devices = {{"m0", "m1"}},
                            .unbind_devices = {{"s0"}},
                            .startstop_services = {{"a", "b"}},
                            .reload_services = {{"r"}},
                            .set_gpio = {{"p", "q"}},
                            .flags = SYNC_IRLIGHT | TRIGGER_MIC_SWAP};

HandlerConfig full_without(StringList HandlerConfig::*list) {
    HandlerConfig config = full;
    (config.*list).reset();
    return config;
}

HandlerConfig only_list(StringList HandlerConfig::*list) {
    HandlerConfig config;
    config.*list = full.*list;
    return config;
}

HandlerConfig flags_only(uint32_t flags) {
    HandlerConfig config;
    config.flags = flags;
    return config;
}

struct Row {
    const char* name;
    ActionCode action;
    HandlerConfig config;
    std::vector<std::string> steps;
    bool reboot_on_failure = true;
};

const Row rows[] = {
    {"attach, everything", ATTACH, full,
     {"<6> Setting GPIOs...\n", "gpios high: p q", "end if all bound: m0 m1",
      "<6> Stopping services...\n", "stop: a b", "<6> Binding drivers...\n", "bind: m0 m1",
      "<6> Reloading services...\n", "reload: r", "<6> Starting services...\n", "start: a b",
      "mic swap", "ir lights"}},
    {"detach, everything: no follow-ups", DETACH, full,
     {"<6> Setting GPIOs...\n", "gpios low: p q", "end if none bound: s0",
      "<6> Stopping services...\n", "stop: a b", "<6> Un-Binding drivers...\n", "unbind: s0",
      "<6> Reloading services...\n", "reload: r", "<6> Starting services...\n", "start: a b"}},
    {"reattach, everything: no state test, unbind before bind", REATTACH, full,
     {"<6> Setting GPIOs...\n", "gpios high: p q", "<6> Stopping services...\n", "stop: a b",
      "<6> Re-Binding drivers...\n", "unbind: s0", "bind: m0 m1", "<6> Reloading services...\n",
      "reload: r", "<6> Starting services...\n", "start: a b", "mic swap", "ir lights"}},
    {"reattach, bind list only", REATTACH,
     only_list(&HandlerConfig::bind_devices),
     {"<6> Re-Binding drivers...\n", "bind: m0 m1"}},
    {"reattach, unbind list only", REATTACH,
     only_list(&HandlerConfig::unbind_devices),
     {"<6> Re-Binding drivers...\n", "unbind: s0"}},
    {"attach without a bind list: no state test, no driver step", ATTACH,
     full_without(&HandlerConfig::bind_devices),
     {"<6> Setting GPIOs...\n", "gpios high: p q", "<6> Stopping services...\n", "stop: a b",
      "<6> Reloading services...\n", "reload: r", "<6> Starting services...\n", "start: a b",
      "mic swap", "ir lights"}},
    {"detach without an unbind list: no state test, no driver step", DETACH,
     full_without(&HandlerConfig::unbind_devices),
     {"<6> Setting GPIOs...\n", "gpios low: p q", "<6> Stopping services...\n", "stop: a b",
      "<6> Reloading services...\n", "reload: r", "<6> Starting services...\n", "start: a b"}},
    {"attach, IR lights alone, never reboot", ATTACH, flags_only(SYNC_IRLIGHT | NEVER_REBOOT),
     {"ir lights"}, false},
    {"reattach, microphone swap alone", REATTACH, flags_only(TRIGGER_MIC_SWAP),
     {"mic swap"}},
    {"none, everything: as an attach without drivers or state test", NONE, full,
     {"<6> Setting GPIOs...\n", "gpios high: p q", "<6> Stopping services...\n", "stop: a b",
      "<6> Reloading services...\n", "reload: r", "<6> Starting services...\n", "start: a b",
      "mic swap", "ir lights"}},
    {"attach, nothing configured", ATTACH, {}, {}},
    {"detach, nothing configured", DETACH, {}, {}},
    {"reattach, nothing configured", REATTACH, {}, {}},
};

TEST(PlanAction, EveryActionWithTheConfigurationsThatChangeIt) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Plan plan = plan_action(row.action, row.config);
        EXPECT_EQ(describe(plan), row.steps);
        EXPECT_EQ(plan.reboot_on_failure, row.reboot_on_failure);
        // Every plan that gets through its steps says so, once, at the end.
        ASSERT_FALSE(plan.steps.empty());
        EXPECT_EQ(plan.steps.back().kind, StepKind::report_success);
        EXPECT_STREQ(plan.steps.back().line, "<%d> Action executed successfully\n");
        EXPECT_EQ(std::count_if(plan.steps.begin(), plan.steps.end(),
                                [](const Step& step) {
                                    return step.kind == StepKind::report_success;
                                }),
                  1);
    }
}

} // namespace
