// Fuzz target: arbitrary doubles, eight bytes each in host order, through the roll-angle
// fold. Every result must lie in -359..180 and fold to itself; angles whose whole part fits
// in 32 bits must agree with the fold done in floating point, the others saturate.
#include "check.h"

#include "platform/roll_angle.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Integer in 32 bits, INT32_MAX % 360 and INT32_MIN % 360: what saturated angles fold to.
constexpr int32_t FOLDED_HIGHEST = 127;
constexpr int32_t FOLDED_LOWEST = -128;

// Floating-point remainder of the whole degrees, which keeps the dividend's sign as the
// integer one does; exact for whole numbers of this size.
int32_t model_fold(double degrees) {
    double folded = std::fmod(std::trunc(degrees), 360.0);
    if (folded > 180.0)
        folded -= 360.0;
    return static_cast<int32_t>(folded);
}

void check_fold(double degrees) {
    int32_t folded = fold_roll_angle(degrees);
    FUZZ_CHECK(folded >= -359 && folded <= 180);
    FUZZ_CHECK(fold_roll_angle(folded) == folded);

    if (std::isnan(degrees))
        FUZZ_CHECK(folded == 0);
    else if (degrees >= 2147483648.0)
        FUZZ_CHECK(folded == FOLDED_HIGHEST);
    else if (degrees <= -2147483649.0)
        FUZZ_CHECK(folded == FOLDED_LOWEST);
    else
        FUZZ_CHECK(folded == model_fold(degrees));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (size_t offset = 0; offset + sizeof(double) <= size; offset += sizeof(double)) {
        double degrees;
        std::memcpy(&degrees, data + offset, sizeof degrees);
        check_fold(degrees);
    }
    return 0;
}
