// SPDX-License-Identifier: MIT
// The dry run's core: an action's plan read against what the camera shows now, one line for
// each thing a step would touch, and whether every step would find what it needs. It reads
// the same plan the handler carries out, so the two cannot tell different stories.
#pragma once

#include "handler/plan.h"

#include <map>
#include <set>
#include <string>
#include <vector>

enum class NameOwner { owned, none, unknown }; // unknown: the bus could not be asked
enum class ScriptState { executable, not_executable, missing };

// What the camera shows now, as far as a plan looks at it.
struct CameraState {
    // GPIO name -> the first line of its value file; no entry when that cannot be read.
    std::map<std::string, std::string> gpio_values;
    // Device paths bound to their driver now, by the handler's own test.
    std::set<std::string> bound_devices;
    // Driver attribute paths ("<driver directory>/bind") that exist.
    std::set<std::string> attributes;
    // Well-known bus name -> whether it has an owner.
    std::map<std::string, NameOwner> bus_names;
    ScriptState ir_script = ScriptState::missing;
};

struct Preview {
    std::vector<std::string> lines; // without line breaks; outside text masked
    bool ready = true;              // every step would find what it needs
};

// The bus names the plan's steps, and the reboot after a failure, would call on.
std::set<std::string> bus_names_used(const Plan& plan);

// Goes through the plan's steps in order; a state test that would end the action ends the
// preview there too.
Preview preview_plan(const Plan& plan, const CameraState& camera);
