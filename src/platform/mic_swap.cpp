// SPDX-License-Identifier: MIT
// Client of the camera-view setup service: reads the roll angle from its status and sends it
// back, folded, as an absolute roll request.
#include "platform/mic_swap.h"

#include "common/handles.h"
#include "platform/roll_angle.h"
#include "platform/system_bus.h"

#include <syslog.h>

#include <cstdint>
#include <cstdio>
#include <optional>

namespace {

constexpr const char* SERVICE = CAMERA_VIEW_BUS_NAME;
constexpr const char* OBJECT = "/com/norv/CamViewSetup/Setup";
constexpr const char* INTERFACE = "com.norv.CamViewSetup.Setup";

// The status argument 0 and the roll argument 1 are the selectors the service expects.
constexpr int32_t STATUS_SELECTOR = 0;
constexpr int32_t ROLL_SELECTOR = 1;

// Reads the current roll angle; the reply and error record are released before returning.
std::optional<double> read_roll_angle(sd_bus* bus) {
    BusError error;
    BusMessagePtr reply;
    int r = call_method(bus, SERVICE, OBJECT, INTERFACE, "GetStatus", error, reply, "i",
                        STATUS_SELECTOR);
    // Without the service there is nothing to swap; that is not worth a line.
    if (r < 0)
        return std::nullopt;

    // The angle is the seventh value, after four strings and two doubles.
    if (sd_bus_message_skip(reply.get(), "ssssdd") < 0) {
        fprintf(stderr, "<%d> Failed to skip parameters in reply\n", LOG_ERR);
        return std::nullopt;
    }
    double angle = 0.0;
    if (sd_bus_message_read(reply.get(), "d", &angle) < 0) {
        fprintf(stderr, "<%d> Failed to read roll angle in reply\n", LOG_ERR);
        return std::nullopt;
    }
    return angle;
}

} // namespace

void request_mic_swap(sd_bus* bus) {
    if (!bus)
        return;
    std::optional<double> angle = read_roll_angle(bus);
    if (!angle)
        return;

    BusError error;
    BusMessagePtr reply;
    int r = call_method(bus, SERVICE, OBJECT, INTERFACE, "AbsoluteRoll", error, reply, "id",
                        ROLL_SELECTOR, static_cast<double>(fold_roll_angle(*angle)));
    if (r < 0)
        fprintf(stderr, "<%d> Failed to trigger chain of events for swapping mics.\n",
                LOG_WARNING);
}
