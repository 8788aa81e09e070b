// The roll-angle fold: whole degrees, remainder with the dividend's sign, 181..359 moved down.
#include "platform/roll_angle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

namespace {

void expect_folds(std::initializer_list<std::pair<double, int32_t>> cases) {
    for (auto [angle, folded] : cases) {
        SCOPED_TRACE(angle);
        EXPECT_EQ(fold_roll_angle(angle), folded);
    }
}

TEST(FoldRollAngle, TruncatesThenFoldsIntoMinus359To180) {
    expect_folds({{0.0, 0},      {90.4, 90},     {180.7, 180},   {181.0, -179},
                  {359.9, -1},   {360.0, 0},     {540.0, 180},   {725.3, 5},
                  {-0.5, 0},     {-90.0, -90},   {-200.0, -200}, {-541.0, -181},
                  {-359.9, -359}, {-360.0, 0}});
}

TEST(FoldRollAngle, NotANumberIsZero) {
    expect_folds({{std::numeric_limits<double>::quiet_NaN(), 0},
                  {-std::numeric_limits<double>::quiet_NaN(), 0}});
}

TEST(FoldRollAngle, ValuesBeyondInt32SaturateBeforeFolding) {
    // INT32_MAX % 360 == 127 and INT32_MIN % 360 == -128.
    constexpr double inf = std::numeric_limits<double>::infinity();
    expect_folds({{1e10, 127},
                  {inf, 127},
                  {std::numeric_limits<double>::max(), 127},
                  {2147483648.0, 127},
                  {2147483647.9, 127},
                  {-1e10, -128},
                  {-inf, -128},
                  {-std::numeric_limits<double>::max(), -128},
                  {-2147483649.0, -128},
                  {-2147483648.9, -128}});
    // Just inside the range the value is truncated, not saturated.
    expect_folds({{2147483646.5, 126}, {-2147483647.5, -127}});
}

} // namespace
