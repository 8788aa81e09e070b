// SPDX-License-Identifier: MIT
// Microphone swap: the platform swaps microphones as part of handling a roll request, so the
// current roll angle is read back and sent again.
#pragma once

#include <systemd/sd-bus.h>

// The camera-view setup service's well-known name on the system bus.
inline constexpr const char* CAMERA_VIEW_BUS_NAME = "com.norv.CamViewSetup.Setup";

// Re-applies the camera's roll angle over `bus` (null: no connection could be had, and
// nothing is done). Failures are only logged; the caller goes on whatever happens.
void request_mic_swap(sd_bus* bus);
