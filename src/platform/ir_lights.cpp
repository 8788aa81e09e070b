// SPDX-License-Identifier: MIT
// Client of the optics service's day/night state, and the run of the IR script that follows
// it. Every failure falls back to the filter-on command, so the script always runs.
#include "platform/ir_lights.h"

#include "common/handles.h"
#include "common/printable.h"
#include "platform/ir_script.h"
#include "platform/system_bus.h"

#include <syslog.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr const char* SERVICE = OPTICS_BUS_NAME;
constexpr const char* OBJECT = "/com/norv/Optics0";
constexpr const char* INTERFACE = "com.norv.DayNight1";

// A fixed script and arguments: nothing from the bus ever reaches its command line.
constexpr const char* SCRIPT = IR_SCRIPT_PATH;
constexpr const char* FILTER_ON = "ir_filter_on";
constexpr const char* FILTER_OFF = "ir_filter_off";

// Chooses the script's argument from the filter state. The reply is released on return, so
// none is held while the script runs.
const char* choose_command(sd_bus* bus) {
    if (!bus)
        return FILTER_ON;

    BusError error;
    BusMessagePtr reply;
    int r = call_method(bus, SERVICE, OBJECT, INTERFACE, "GetDayNight", error, reply, "");
    if (r < 0) {
        fprintf(stderr, "<%d> Failed to get DayNight filter state %s\n", LOG_ERR,
                printable(error.message()).c_str());
        return FILTER_ON;
    }

    // The string lives in the reply, so it is compared before the reply goes.
    const char* state = nullptr;
    r = sd_bus_message_read_basic(reply.get(), 's', &state);
    if (r < 0 || !state) {
        fprintf(stderr, "<%d> Failed to read DayNight filter state %s\n", LOG_ERR,
                strerror(errno));
        return FILTER_ON;
    }
    return std::strcmp(state, "night") == 0 ? FILTER_OFF : FILTER_ON;
}

} // namespace

int sync_ir_lights(sd_bus* bus) { return run_ir_script(SCRIPT, choose_command(bus)); }
