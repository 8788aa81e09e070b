// SPDX-License-Identifier: MIT
// The execution sequence: carries out one attach, detach or re-attach on the camera.
#pragma once

#include "channel/action_code.h"
#include "config/config.h"

#include <systemd/sd-bus.h>

// Runs every step the action and the configuration call for, on the handler's bus connection
// (borrowed, not released). Returns 0 when the action was carried out or there was nothing to
// do, 1 when a required step failed (the reboot has then been requested unless never_reboot,
// or the reboots requested in a row have reached their bound).
int execute_action(ActionCode action, const HandlerConfig& config, sd_bus* bus);

// Asks the platform to reboot; a refusal is only logged.
void reboot_fallback(sd_bus* bus);
