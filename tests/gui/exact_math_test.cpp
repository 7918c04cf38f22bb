// The drawing code's own trigonometry against the C library's, which it
// replaces so that every build draws the same pixels.
#include <gtest/gtest.h>

#include <cmath>

#include "gui/exact_math.h"

namespace gui {
namespace {

TEST(ExactMath, SineAndCosineWithinATenBillionthOverManyTurns) {
    double worst = 0.0;
    for (int i = -20000; i <= 20000; ++i) {
        const double x = i * 0.0031;  // about ±10 turns
        worst = std::max(worst, std::fabs(exactSin(x) - std::sin(x)));
        worst = std::max(worst, std::fabs(exactCos(x) - std::cos(x)));
    }
    EXPECT_LT(worst, 1e-10);
    EXPECT_EQ(exactSin(0.0), 0.0);
    EXPECT_NEAR(exactSin(kPi / 2), 1.0, 1e-10);
    EXPECT_NEAR(exactSin(kPi), 0.0, 1e-12);
    // The envelope the scope clamps to, sin(jπ/w)·h/2, is symmetric.
    const int w = 397;
    for (int j = 0; j <= w; ++j) EXPECT_NEAR(exactSin(j * kPi / w), exactSin((w - j) * kPi / w), 1e-12);
}

TEST(ExactMath, WholePowersAndSmoothStep) {
    EXPECT_EQ(powInt(2.0, 10), 1024.0);
    EXPECT_EQ(powInt(0.5, 3), 0.125);
    EXPECT_EQ(powInt(7.0, 0), 1.0);
    EXPECT_NEAR(powInt(0.9, 24), std::pow(0.9, 24), 1e-15);
    EXPECT_EQ(smoothStep(0.0, 1.0, -1.0), 0.0);
    EXPECT_EQ(smoothStep(0.0, 1.0, 2.0), 1.0);
    EXPECT_EQ(smoothStep(0.0, 1.0, 0.5), 0.5);
    EXPECT_LT(smoothStep(0.0, 1.0, 0.1), 0.1);  // eases in
}

}  // namespace
}  // namespace gui
