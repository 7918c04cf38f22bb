// Canvas operations measured pixel by pixel: exact blending, clipping,
// bitmap and strip blits, anti-aliased line ends, circle symmetry and area.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gui/canvas.h"

namespace gui {
namespace {

constexpr Color kBlack = rgb(0, 0, 0);

TEST(Blend, Div255IsRoundedDivisionOverTheWholeRange) {
    for (unsigned x = 0; x <= 255u * 255u; ++x) {
        const unsigned expected = (2 * x + 255) / 510;  // round half up
        ASSERT_EQ(div255(x), expected) << x;
    }
}

TEST(Blend, OpaqueDestinationTakesExactWeightedAverage) {
    for (unsigned a = 0; a < 256; a += 17) {
        for (unsigned s = 0; s < 256; s += 51) {
            for (unsigned d = 0; d < 256; d += 85) {
                const Color out = blendOver(rgb(d, d, d), argb(a, s, 255 - s, s), 255);
                const double exact = (s * a + d * (255.0 - a)) / 255.0;
                ASSERT_EQ(alphaOf(out), 255u);
                ASSERT_EQ(redOf(out), static_cast<unsigned>(std::floor(exact + 0.5))) << a << " " << s << " " << d;
            }
        }
    }
    Bitmap b(4, 4, rgb(0, 0, 255));
    Canvas c(b);
    c.fillRect(Rect{0, 0, 4, 4}, argb(128, 255, 0, 0));
    EXPECT_EQ(b.pixel(2, 2), rgb(128, 0, 127));
}

TEST(Blend, TransparentDestinationKeepsSourceColour) {
    EXPECT_EQ(blendOver(0, argb(128, 200, 100, 50)), argb(128, 200, 100, 50));
    // Two half-covering layers of one colour: alpha 1 − (1 − a)², colour unchanged.
    const Color twice = blendOver(argb(128, 200, 100, 50), argb(128, 200, 100, 50));
    EXPECT_EQ(alphaOf(twice), 192u);
    EXPECT_EQ(twice & 0xFFFFFF, 0xC86432u);
    // Coverage scales the source alpha.
    EXPECT_EQ(blendOver(rgb(0, 0, 0), rgb(255, 255, 255), 51), rgb(51, 51, 51));
}

TEST(Clip, NestedClipsIntersectAndPopRestores) {
    Bitmap b(20, 20, kBlack);
    Canvas c(b);
    c.pushClip(Rect{5, 5, 15, 15});
    c.pushClip(Rect{10, 0, 20, 12});
    EXPECT_EQ(c.clip(), (Rect{10, 5, 15, 12}));
    c.fillRect(c.bounds(), rgb(255, 0, 0));
    c.popClip();
    c.fillRect(Rect{0, 14, 20, 20}, rgb(0, 255, 0));
    c.popClip();
    c.popClip();  // one too many: stays at the canvas bounds
    EXPECT_EQ(c.clip(), c.bounds());
    int red = 0, green = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            if (b.pixel(x, y) == rgb(255, 0, 0)) {
                ++red;
                EXPECT_TRUE((Rect{10, 5, 15, 12}).contains(x, y));
            }
            if (b.pixel(x, y) == rgb(0, 255, 0)) {
                ++green;
                EXPECT_TRUE((Rect{5, 14, 15, 15}).contains(x, y));
            }
        }
    }
    EXPECT_EQ(red, 35);
    EXPECT_EQ(green, 10);
}

TEST(Clip, EveryOperationStaysInsideTheClip) {
    Bitmap b(64, 64, kBlack);
    Canvas c(b);
    const Rect clip{16, 20, 40, 44};
    c.pushClip(clip);
    const Color white = rgb(255, 255, 255);
    c.fillRect(Rect{0, 0, 64, 64}, argb(100, 255, 255, 255));
    c.frameRect(Rect{2, 2, 60, 60}, white, 3);
    c.drawLine(0, 0, 64, 64, white, 3.0f);
    c.fillCircle(32, 32, 40, white);
    c.drawRing(32, 32, 20, 4, white);
    c.fillRoundRect(Rect{0, 0, 64, 64}, 10, white);
    Bitmap sprite(64, 64, white);
    c.drawBitmap(sprite, -5, -5);
    c.drawText(Font("Arial", 30), "WWWWWW", 0, 40, white);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (!clip.contains(x, y)) {
                ASSERT_EQ(b.pixel(x, y), kBlack) << x << "," << y;
            }
}

TEST(Bitmaps, BlitWithAlphaAndPartlyOutsideTheCanvas) {
    Bitmap sprite(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) sprite.setPixel(x, y, argb(x * 85, 10 * y, 255, 0));
    Bitmap b(6, 6, rgb(0, 0, 200));
    Canvas c(b);
    c.drawBitmap(sprite, -1, 4);  // first column and last row fall outside
    EXPECT_EQ(b.pixel(0, 4), blendOver(rgb(0, 0, 200), sprite.pixel(1, 0)));
    EXPECT_EQ(b.pixel(2, 5), blendOver(rgb(0, 0, 200), sprite.pixel(3, 1)));
    EXPECT_EQ(b.pixel(3, 4), rgb(0, 0, 200));
    EXPECT_EQ(b.pixel(0, 3), rgb(0, 0, 200));
    // Opacity scales each pixel's alpha.
    Bitmap d(1, 1, kBlack);
    Canvas dc(d);
    dc.drawBitmap(Bitmap(1, 1, rgb(255, 255, 255)), 0, 0, 102);
    EXPECT_EQ(d.pixel(0, 0), rgb(102, 102, 102));
}

TEST(Bitmaps, StripFramesSideBySideAndStacked) {
    Bitmap across(15, 4), down(4, 10);
    for (int f = 0; f < 5; ++f) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 3; ++x) across.setPixel(3 * f + x, y, rgb(f, 0, 0));
    }
    for (int f = 0; f < 2; ++f)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 4; ++x) down.setPixel(x, 5 * f + y, rgb(0, f + 1, 0));
    EXPECT_EQ(stripFrame(across, 5, 3, StripLayout::kHorizontal), (Rect{9, 0, 12, 4}));
    EXPECT_EQ(stripFrame(across, 5, 9, StripLayout::kHorizontal), (Rect{12, 0, 15, 4}));
    EXPECT_EQ(stripFrame(across, 5, -2, StripLayout::kHorizontal), (Rect{0, 0, 3, 4}));
    EXPECT_EQ(stripFrame(down, 2, 1, StripLayout::kVertical), (Rect{0, 5, 4, 10}));

    Bitmap b(10, 10, kBlack);
    Canvas c(b);
    c.drawFrame(across, 5, 3, StripLayout::kHorizontal, 2, 2);
    c.drawFrame(down, 2, 1, StripLayout::kVertical, 5, 5);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            Color want = kBlack;
            if (x >= 2 && x < 5 && y >= 2 && y < 6) want = rgb(3, 0, 0);
            if (x >= 5 && x < 9 && y >= 5 && y < 10) want = rgb(0, 2, 0);
            ASSERT_EQ(b.pixel(x, y), want) << x << "," << y;
        }
    }
}

TEST(Lines, HorizontalLineCoversExactlyItsPixelsFromEndToEnd) {
    Bitmap b(32, 12, kBlack);
    Canvas c(b);
    c.drawLine(10.5f, 5.5f, 20.5f, 5.5f, rgb(255, 255, 255));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool on = y == 5 && x >= 10 && x <= 20;
            ASSERT_EQ(b.pixel(x, y), on ? rgb(255, 255, 255) : kBlack) << x << "," << y;
        }
}

TEST(Lines, DiagonalIsSymmetricAndDirectionDoesNotMatter) {
    Bitmap a(40, 40, kBlack), r(40, 40, kBlack);
    Canvas ca(a), cr(r);
    ca.drawLine(4.5f, 6.5f, 30.5f, 32.5f, rgb(255, 255, 255), 2.0f);
    cr.drawLine(30.5f, 32.5f, 4.5f, 6.5f, rgb(255, 255, 255), 2.0f);
    EXPECT_EQ(a, r);
    // The line lies on y = x + 2: mirror (x, y) -> (y - 2, x + 2).
    long total = 0;
    for (int y = 2; y < 38; ++y)
        for (int x = 0; x < 36; ++x) {
            ASSERT_EQ(a.pixel(x, y), a.pixel(y - 2, x + 2)) << x << "," << y;
            total += redOf(a.pixel(x, y));
        }
    // Ink ≈ length × width (+ the round caps), within 3 %.
    const double expected = (std::sqrt(2.0) * 26.0 * 2.0 + 3.14159265) * 255.0;
    EXPECT_NEAR(total, expected, expected * 0.03);
}

TEST(Circles, FilledCircleIsEightFoldSymmetricWithTheRightArea) {
    Bitmap b(100, 100, kBlack);
    Canvas c(b);
    c.fillCircle(50.0f, 50.0f, 20.3f, rgb(255, 255, 255));
    long total = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const Color p = b.pixel(x, y);
            ASSERT_EQ(p, b.pixel(99 - x, y));
            ASSERT_EQ(p, b.pixel(x, 99 - y));
            ASSERT_EQ(p, b.pixel(y, x));
            total += redOf(p);
        }
    const double area = 3.14159265 * 20.3 * 20.3 * 255.0;
    EXPECT_NEAR(total, area, area * 0.005);
    EXPECT_EQ(b.pixel(50, 50), rgb(255, 255, 255));
    EXPECT_EQ(b.pixel(50, 28), kBlack);  // beyond the radius
}

TEST(Circles, RingHasItsWidthAndAHole) {
    Bitmap b(100, 100, kBlack);
    Canvas c(b);
    c.drawRing(50.0f, 50.0f, 30.0f, 4.0f, rgb(255, 255, 255));
    long total = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) total += redOf(b.pixel(x, y));
    const double area = 2.0 * 3.14159265 * 30.0 * 4.0 * 255.0;
    EXPECT_NEAR(total, area, area * 0.01);
    EXPECT_EQ(b.pixel(50, 50), kBlack);
    EXPECT_EQ(b.pixel(50, 50 - 30), rgb(255, 255, 255));  // centre of the band
    EXPECT_EQ(b.pixel(50, 50 - 36), kBlack);
}

TEST(RoundRect, SquareCornersAtRadiusZeroAndInsetCornersOtherwise) {
    Bitmap b(20, 20, kBlack);
    Canvas c(b);
    c.fillRoundRect(Rect{2, 3, 12, 9}, 0.0f, rgb(255, 255, 255));
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(b.pixel(x, y), (Rect{2, 3, 12, 9}).contains(x, y) ? rgb(255, 255, 255) : kBlack);
        }
    }
    Bitmap r(20, 20, kBlack);
    Canvas cr(r);
    cr.fillRoundRect(Rect{0, 0, 20, 20}, 6.0f, rgb(255, 255, 255));
    EXPECT_EQ(r.pixel(0, 0), kBlack);
    EXPECT_EQ(r.pixel(10, 0), rgb(255, 255, 255));
    EXPECT_EQ(r.pixel(0, 0), r.pixel(19, 19));
}

TEST(Robustness, NonFiniteAndHugeCoordinatesDrawNothingOrOnlyWhatIsVisible) {
    Bitmap b(50, 50, kBlack);
    Canvas c(b);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    c.drawLine(nan, 10, 20, 20, rgb(255, 0, 0));
    c.drawLine(0, 0, inf, 20, rgb(255, 0, 0));
    c.fillCircle(nan, 5, 3, rgb(255, 0, 0));
    c.drawRing(5, 5, inf, 1, rgb(255, 0, 0));
    c.fillRoundRect(Rect{0, 0, 10, 10}, nan, rgb(255, 0, 0));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x) ASSERT_EQ(b.pixel(x, y), kBlack);
    // A scope sample of 1e30 makes a long vertical line: drawn, clipped, quick.
    c.drawLine(10.5f, 25.5f, 10.5f, 1e30f, rgb(0, 255, 0));
    EXPECT_EQ(b.pixel(10, 49), rgb(0, 255, 0));
    EXPECT_EQ(b.pixel(10, 24), kBlack);
    c.fillCircle(1e20f, 1e20f, 1e21f, rgb(0, 0, 255));  // returns, whatever it draws
    c.drawRing(-1e9f, 3e9f, 1e9f, 2e9f, rgb(0, 0, 255));
}

TEST(Robustness, CanvasOverPartOfALargerImageKeepsToItsStride) {
    Bitmap big(40, 30, kBlack);
    // A 10 × 8 view starting at (5, 4).
    Canvas view(big.pixels() + 4 * 40 + 5, 10, 8, 40);
    view.fillRect(Rect{-5, -5, 100, 100}, rgb(255, 255, 255));
    view.drawLine(-20, 3.5f, 80, 3.5f, rgb(255, 0, 0));
    long inside = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool in = (Rect{5, 4, 15, 12}).contains(x, y);
            if (in) ++inside;
            ASSERT_EQ(big.pixel(x, y) != kBlack, in) << x << "," << y;
        }
    EXPECT_EQ(inside, 80);
    EXPECT_EQ(big.pixel(5, 7), rgb(255, 0, 0));
}

}  // namespace
}  // namespace gui
