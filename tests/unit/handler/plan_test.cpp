// SPDX-License-Identifier: MIT
// The steps of every action for the configurations that change them: which steps, in which
// order, with which lists and progress lines, and whether a failure asks for a reboot.
#include "handler/plan.h"

#include <gtest/gtest.h>

#include <syslog.h>

#include <cstdio>

namespace {

// Short names for the step kinds, in the enum's order.
const char* const kind_names[] = {"gpios high", "gpios low", "end if all bound",
                                  "end if none bound", "stop", "unbind", "bind", "reload",
                                  "start", "mic swap", "ir lights", "success"};

// Each step as its progress line, if any, then "kind: names".
std::vector<std::string> describe(const std::vector<Step>& steps) {
    std::vector<std::string> lines;
    for (const Step& step : steps) {
        if (step.line) {
            char line[128];
            snprintf(line, sizeof line, step.line, LOG_INFO);
            lines.emplace_back(line);
        }
        std::string text = kind_names[static_cast<int>(step.kind)];
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

// A configuration with only these flags and, when given, the bind list.
HandlerConfig only(uint32_t flags, StringList bind_devices = {}) {
    HandlerConfig config;
    config.bind_devices = std::move(bind_devices);
    config.flags = flags;
    return config;
}

struct Row {
    const char* name;
    ActionCode action;
    HandlerConfig config;
    std::vector<std::string> steps;
    bool reboot_on_failure = true;
    bool begun = false;
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
    {"reattach, bind list only", REATTACH, only(0, full.bind_devices),
     {"<6> Re-Binding drivers...\n", "bind: m0 m1"}},
    {"attach, IR lights alone, never reboot", ATTACH, only(SYNC_IRLIGHT | NEVER_REBOOT),
     {"ir lights"}, false},
    {"reattach, microphone swap alone", REATTACH, only(TRIGGER_MIC_SWAP),
     {"mic swap"}},
    // An earlier run was stopped or killed in the middle: the devices may be in place while the
    // services are not.
    {"attach begun by an earlier run: no state test", ATTACH, full,
     {"<6> Setting GPIOs...\n", "gpios high: p q", "<6> Stopping services...\n", "stop: a b",
      "<6> Binding drivers...\n", "bind: m0 m1", "<6> Reloading services...\n", "reload: r",
      "<6> Starting services...\n", "start: a b", "mic swap", "ir lights"}, true, true},
    {"detach begun by an earlier run: no state test", DETACH, full,
     {"<6> Setting GPIOs...\n", "gpios low: p q", "<6> Stopping services...\n", "stop: a b",
      "<6> Un-Binding drivers...\n", "unbind: s0", "<6> Reloading services...\n", "reload: r",
      "<6> Starting services...\n", "start: a b"}, true, true},
    {"attach, nothing configured", ATTACH, {}, {}},
    {"detach, nothing configured", DETACH, {}, {}},
    {"reattach, nothing configured", REATTACH, {}, {}},
};

TEST(PlanAction, EveryActionWithTheConfigurationsThatChangeIt) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Plan plan = plan_action(row.action, row.config, row.begun);
        EXPECT_EQ(plan.reboot_on_failure, row.reboot_on_failure);
        // Every plan that gets through its steps says so at the end, and only there.
        ASSERT_FALSE(plan.steps.empty());
        EXPECT_EQ(describe({plan.steps.back()}),
                  (std::vector<std::string>{"<6> Action executed successfully\n", "success"}));
        plan.steps.pop_back();
        EXPECT_EQ(describe(plan.steps), row.steps);
    }
}

} // namespace
