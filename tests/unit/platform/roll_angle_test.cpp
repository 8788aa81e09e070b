// SPDX-License-Identifier: MIT
// The roll-angle fold: whole degrees, remainder with the dividend's sign, 181..359 moved down,
// and a defined result for every double.
#include "platform/roll_angle.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// INT32_MAX % 360 == 127 and INT32_MIN % 360 == -128: values beyond int32_t saturate first.
constexpr std::pair<double, int32_t> folds[] = {
    {0.0, 0},          {90.4, 90},          {180.7, 180},           {181.0, -179},
    {359.9, -1},       {360.0, 0},          {540.0, 180},           {725.3, 5},
    {-0.5, 0},         {-90.0, -90},        {-200.0, -200},         {-541.0, -181},
    {-359.9, -359},    {-360.0, 0},         {nan, 0},               {-nan, 0},
    {1e10, 127},       {inf, 127},          {2147483648.0, 127},    {2147483646.5, 126},
    {-1e10, -128},     {-inf, -128},        {-2147483649.0, -128},  {-2147483647.5, -127},
};

TEST(FoldRollAngle, EveryRangeAndItsBoundaries) {
    for (auto [angle, folded] : folds) {
        SCOPED_TRACE(angle);
        EXPECT_EQ(fold_roll_angle(angle), folded);
    }
}

} // namespace
