// SPDX-License-Identifier: MIT
// What one run of the simulated platform does: its initial state and the misbehaviour scripted
// for it on the command line.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How GetStatus shapes its reply: as the platform does, one value short (no roll angle), or
// with every one of the first six values of the wrong type.
enum class StatusReply { normal, short_reply, mistyped };

struct Failure {
    std::string method;
    std::optional<std::string> argument; // unset: every call of the method fails
    std::string message;
};

struct Scenario {
    std::string day_night = "day";
    bool day_night_mistyped = false;
    double roll = 0;
    StatusReply status_reply = StatusReply::normal;
    std::optional<std::string> control_reply_value;
    std::vector<Failure> failures;
    std::map<std::string, unsigned, std::less<>> delays_ms;
    bool optics = true;
    bool camview = true;
    bool service_control = true;
    // Reboot also has systemd reboot the machine, as the platform would: for a test guest.
    bool reboot_machine = false;

    std::string log_path;
    std::string state_path;
    int ready_fd = -1;
    bool help = false;
};

// Reads options into `scenario`. Returns an empty string, or what is wrong with them.
std::string parse_scenario(const std::vector<std::string>& args, Scenario& scenario);

// The error message scripted for `method` called with `argument` (its first argument as the
// log writes it, without quotes), or null when the call succeeds.
const std::string* scripted_failure(const Scenario& scenario, std::string_view method,
                                    std::string_view argument);
