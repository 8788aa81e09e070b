// SPDX-License-Identifier: MIT
// The roll angle that the camera-view service reports, folded back into the range it accepts
// for an absolute roll request.
#pragma once

#include <cstdint>

// Whole degrees of `degrees` (truncated toward zero, NaN as 0, saturated at the 32-bit
// limits), reduced modulo 360 with the sign kept, then 181..359 moved to -179..-1.
// The result lies in -359..180.
int32_t fold_roll_angle(double degrees);
