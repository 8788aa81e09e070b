// SPDX-License-Identifier: MIT
// Folding of the roll angle into whole degrees from -359 to 180.
#include "platform/roll_angle.h"

#include <cmath>
#include <limits>

namespace {

// A double-to-int conversion outside the target range (NaN included) is undefined
// behaviour, and the angle comes from another process: give every input a defined result.
int32_t truncate_to_int32(double value) {
    if (std::isnan(value))
        return 0;
    // Both limits are exact doubles: -2^31 and 2^31.
    constexpr double lowest = static_cast<double>(std::numeric_limits<int32_t>::min());
    constexpr double past_highest = -lowest;
    if (value >= past_highest)
        return std::numeric_limits<int32_t>::max();
    if (value < lowest)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

} // namespace

int32_t fold_roll_angle(double degrees) {
    // C++'s % keeps the dividend's sign, so negative angles stay negative here.
    int32_t folded = truncate_to_int32(degrees) % 360;
    if (folded > 180)
        folded -= 360;
    return folded;
}
