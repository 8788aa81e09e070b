// SPDX-License-Identifier: MIT
// Microphone swap: the platform swaps microphones as part of handling a roll request, so the
// current roll angle is read back and sent again.
#pragma once

#include <systemd/sd-bus.h>

// Re-applies the camera's roll angle over `bus` (null: no connection could be had, and
// nothing is done). Failures are only logged; the caller goes on whatever happens.
void request_mic_swap(sd_bus* bus);
