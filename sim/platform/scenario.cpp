// SPDX-License-Identifier: MIT
// Option parsing for the simulated platform.
#include "scenario.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

constexpr std::string_view methods[] = {"StopService", "StartService", "ReloadService", "Reboot",
                                        "GetDayNight", "GetStatus",    "AbsoluteRoll"};

bool known_method(std::string_view method) {
    for (std::string_view known : methods)
        if (known == method)
            return true;
    return false;
}

bool parse_double(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(value);
}

bool parse_unsigned(const std::string& text, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, 10);
    return !text.empty() && text[0] != '-' && *end == '\0' && errno == 0;
}

// METHOD[:ARGUMENT]=MESSAGE
std::string add_failure(const std::string& value, Scenario& scenario) {
    size_t equals = value.find('=');
    if (equals == std::string::npos)
        return "--fail needs METHOD[:ARGUMENT]=MESSAGE, got '" + value + "'";
    Failure failure;
    std::string target = value.substr(0, equals);
    failure.message = value.substr(equals + 1);
    size_t colon = target.find(':');
    failure.method = target.substr(0, colon);
    if (colon != std::string::npos)
        failure.argument = target.substr(colon + 1);
    if (!known_method(failure.method))
        return "--fail: unknown method '" + failure.method + "'";
    scenario.failures.push_back(std::move(failure));
    return "";
}

std::string add_delay(const std::string& value, Scenario& scenario) {
    size_t equals = value.find('=');
    unsigned long milliseconds = 0;
    if (equals == std::string::npos || !parse_unsigned(value.substr(equals + 1), milliseconds) ||
        milliseconds > 600000)
        return "--delay needs METHOD=MILLISECONDS, got '" + value + "'";
    std::string method = value.substr(0, equals);
    if (!known_method(method))
        return "--delay: unknown method '" + method + "'";
    scenario.delays_ms[method] = static_cast<unsigned>(milliseconds);
    return "";
}

std::string apply(const std::string& name, const std::string& value, Scenario& scenario) {
    if (name == "--daynight") {
        scenario.day_night = value;
    } else if (name == "--roll") {
        if (!parse_double(value, scenario.roll))
            return "--roll needs a number, got '" + value + "'";
    } else if (name == "--fail") {
        return add_failure(value, scenario);
    } else if (name == "--delay") {
        return add_delay(value, scenario);
    } else if (name == "--absent") {
        if (value == "optics")
            scenario.optics = false;
        else if (value == "camview")
            scenario.camview = false;
        else if (value == "service-control")
            scenario.service_control = false;
        else
            return "--absent needs optics, camview or service-control, got '" + value + "'";
    } else if (name == "--status-reply") {
        if (value == "short")
            scenario.status_reply = StatusReply::short_reply;
        else if (value == "mistyped")
            scenario.status_reply = StatusReply::mistyped;
        else
            return "--status-reply needs short or mistyped, got '" + value + "'";
    } else if (name == "--daynight-reply") {
        if (value != "mistyped")
            return "--daynight-reply needs mistyped, got '" + value + "'";
        scenario.day_night_mistyped = true;
    } else if (name == "--reboot") {
        if (value != "machine")
            return "--reboot needs machine, got '" + value + "'";
        scenario.reboot_machine = true;
    } else if (name == "--control-reply-value") {
        scenario.control_reply_value = value;
    } else if (name == "--log") {
        scenario.log_path = value;
    } else if (name == "--state") {
        scenario.state_path = value;
    } else if (name == "--ready-fd") {
        unsigned long fd = 0;
        if (!parse_unsigned(value, fd) || fd > 1023)
            return "--ready-fd needs a descriptor number, got '" + value + "'";
        scenario.ready_fd = static_cast<int>(fd);
    } else {
        return "unknown option " + name;
    }
    return "";
}

bool takes_no_value(const std::string& name) {
    return name == "--help" || name == "-h";
}

} // namespace

std::string parse_scenario(const std::vector<std::string>& args, Scenario& scenario) {
    for (size_t i = 0; i < args.size(); i++) {
        std::string name = args[i];
        if (takes_no_value(name)) {
            scenario.help = true;
            continue;
        }
        if (name.rfind("--", 0) != 0)
            return "unexpected argument '" + name + "'";
        std::string value;
        if (size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return name + " needs a value";
        }
        if (std::string error = apply(name, value, scenario); !error.empty())
            return error;
    }
    return "";
}

const std::string* scripted_failure(const Scenario& scenario, std::string_view method,
                                    std::string_view argument) {
    for (const Failure& failure : scenario.failures)
        if (failure.method == method && (!failure.argument || *failure.argument == argument))
            return &failure.message;
    return nullptr;
}
