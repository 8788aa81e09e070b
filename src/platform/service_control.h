// SPDX-License-Identifier: MIT
// Client of the platform's service-control service: stop, start and reload services, reboot.
#pragma once

#include <systemd/sd-bus.h>

#include <string>
#include <vector>

// The service-control service's well-known name on the system bus.
inline constexpr const char* SERVICE_CONTROL_BUS_NAME = "com.norv.PolicyKitSystem";

// Calls `method` with one string argument. Returns 0, or the call's negative error number.
int call_service_method(sd_bus* bus, const char* method, const char* argument);

// Calls `method` without arguments. Returns 0, or the call's negative error number.
int call_system_method(sd_bus* bus, const char* method);

// Calls `method` for every service in list order, or from last to first when `reverse`.
// Stops at the first failure and returns its negative error number; 0 when all succeeded.
int run_service_action(sd_bus* bus, const std::vector<std::string>& services, const char* method,
                       bool reverse);
