// SPDX-License-Identifier: MIT
// The dry run's reading of a plan for what the simulated camera cannot show: entries the
// handler refuses, a bus that cannot be asked, a script that cannot run, and which bus names
// a plan needs at all. The ordinary roads run through the binary in cli/dry_run_test.
#include "handler/preview.h"

#include <gtest/gtest.h>

namespace {

const std::string long_name(233, 'x');

HandlerConfig configured(uint32_t flags, StringList bind_devices = {}, StringList set_gpio = {},
                         StringList reload_services = {}) {
    HandlerConfig config;
    config.bind_devices = std::move(bind_devices);
    config.set_gpio = std::move(set_gpio);
    config.reload_services = std::move(reload_services);
    config.flags = flags;
    return config;
}

CameraState with_script(ScriptState state) {
    CameraState camera;
    camera.ir_script = state;
    return camera;
}

struct Row {
    const char* name;
    ActionCode action;
    HandlerConfig config;
    CameraState camera;
    std::vector<std::string> lines;
};

const Row rows[] = {
    {"entries the handler refuses", ATTACH,
     configured(NEVER_REBOOT, {{"mic0"}}, {{long_name}}),
     with_script(ScriptState::missing),
     {"set GPIO " + long_name + " to 1: its value path is too long, setting it fails",
      "state test: mic0 is not bound", "state test: the action goes on",
      "bind mic0: no driver directory part, the step fails", "report success",
      "on failure: no reboot (never_reboot)"}},
    {"no bus to ask, and a script that cannot run", REATTACH,
     configured(SYNC_IRLIGHT),
     with_script(ScriptState::not_executable),
     {"sync IR lights: the system bus cannot say whether com.norv.Optics2 has an owner",
      "sync IR lights: /usr/bin/sync_irlight_ircut.sh is not executable", "report success",
      "on failure: reboot, the system bus cannot say whether com.norv.PolicyKitSystem has an "
      "owner"}},
};

TEST(PreviewPlan, WhatTheHandlerWouldRefuseOrNotFindIsNotReady) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Preview preview = preview_plan(plan_action(row.action, row.config, false), row.camera);
        EXPECT_EQ(preview.lines, row.lines);
        EXPECT_FALSE(preview.ready);
    }
}

TEST(PreviewPlan, OnlyTheNamesThePlanCallsOnAreLookedUp) {
    const uint32_t both_follow_ups = NEVER_REBOOT | SYNC_IRLIGHT | TRIGGER_MIC_SWAP;
    const std::tuple<ActionCode, HandlerConfig, std::set<std::string>> cases[] = {
        {DETACH, configured(both_follow_ups), {}},
        {ATTACH, configured(both_follow_ups), {"com.norv.CamViewSetup.Setup", "com.norv.Optics2"}},
        {DETACH, configured(NEVER_REBOOT, {}, {}, {{"eventd"}}), {"com.norv.PolicyKitSystem"}},
        {DETACH, configured(0), {"com.norv.PolicyKitSystem"}},
    };
    for (const auto& [action, config, names] : cases)
        EXPECT_EQ(bus_names_used(plan_action(action, config, false)), names) << action;
}

} // namespace
