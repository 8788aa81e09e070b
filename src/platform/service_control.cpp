// SPDX-License-Identifier: MIT
// Calls on the service-control service; every reply is released unread, since success of the
// call is all that vornic relies on.
#include "platform/service_control.h"

#include "common/handles.h"
#include "common/printable.h"
#include "platform/system_bus.h"

#include <syslog.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* SERVICE = SERVICE_CONTROL_BUS_NAME;
constexpr const char* OBJECT = "/com/norv/PolicyKitSystem";
constexpr const char* INTERFACE = "com.norv.PolicyKitSystem";

} // namespace

int call_service_method(sd_bus* bus, const char* method, const char* argument) {
    BusError error;
    BusMessagePtr reply;
    int r = call_method(bus, SERVICE, OBJECT, INTERFACE, method, error, reply, "s", argument);
    if (r < 0) {
        fprintf(stderr, "<%d> Failed to call action: %s(%s): %s\n", LOG_ERR, method,
                printable(argument).c_str(), printable(error.message()).c_str());
        return r;
    }
    return 0;
}

int call_system_method(sd_bus* bus, const char* method) {
    BusError error;
    BusMessagePtr reply;
    int r = call_method(bus, SERVICE, OBJECT, INTERFACE, method, error, reply, "");
    if (r < 0) {
        fprintf(stderr, "<%d> Failed to call action: %s(): %s\n", LOG_ERR, method,
                printable(error.message()).c_str());
        return r;
    }
    return 0;
}

namespace {

template <typename Iterator>
int call_each(sd_bus* bus, Iterator first, Iterator last, const char* method) {
    for (; first != last; ++first) {
        const std::string& service = *first;
        int r = call_service_method(bus, method, service.c_str());
        if (r < 0) {
            fprintf(stderr, "<%d> Failed to execute service %s with action %s: %s\n", LOG_ERR,
                    printable(service).c_str(), method, strerror(-r));
            return r;
        }
    }
    return 0;
}

} // namespace

int run_service_action(sd_bus* bus, const std::vector<std::string>& services, const char* method,
                       bool reverse) {
    if (reverse)
        return call_each(bus, services.rbegin(), services.rend(), method);
    return call_each(bus, services.begin(), services.end(), method);
}
