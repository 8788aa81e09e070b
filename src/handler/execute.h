// SPDX-License-Identifier: MIT
// The execution sequence: carries out one attach, detach or re-attach on the camera.
#pragma once

#include "channel/action_code.h"
#include "config/config.h"

#include "common/handles.h"

// Runs every step the action and the configuration call for, without the state test when an
// earlier run had `begun` the action. The steps that call the
// platform use the handler's connection `bus`, replaced by a new one when it has died (null
// when none could be had: those steps then fail as a call does); the others are carried out
// whatever the bus does. Returns 0 when the action was carried out or there was nothing to
// do, 1 when a required step failed (the reboot has then been requested unless never_reboot,
// or the reboots requested in a row have reached their bound).
int execute_action(ActionCode action, bool begun, const HandlerConfig& config, BusPtr& bus);

// Asks the platform to reboot, over a new connection if `bus` has died; a refusal is only
// logged.
void reboot_fallback(BusPtr& bus);
