// The planet pad's geometry, without pixels: the two mappings with their
// sprite margins, drags that follow the pointer, clamps and host values,
// hit-test order, the key strip at both octave ends, glow frames and the
// oscilloscope's columns and envelope.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "editor/pad_mapping.h"

namespace {

using namespace pad;

TEST(PadMapping, NormalModePutsHighValuesOnTopWithinTheSpriteMargins) {
    const float w = kWidth - kPlanetSize;  // 357
    Place p = place(0.0f, 0.0f, kPlanetSize, false);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, w);  // sprite's bottom edge on the pad's bottom edge
    p = place(128.0f, 128.0f, kPlanetSize, false);
    EXPECT_EQ(p.x, w);
    EXPECT_EQ(p.y, 0.0f);
    p = place(64.0f, 64.0f, kSatelliteSize, false);
    EXPECT_EQ(p.x, (kWidth - kSatelliteSize) / 2.0f);
    EXPECT_EQ(p.y, (kHeight - kSatelliteSize) / 2.0f);
    // Planets: pan −1 on the left, level 127 near the top.
    p = planetPlace(-1.0f, 127.0f, false);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_NEAR(p.y, w / 128.0f, 1e-4);
    // A satellite with no targets on an axis sits in the middle of it.
    p = satellitePlace(0.0f, 0.0f, false, true, false);
    EXPECT_EQ(p.x, (kWidth - kSatelliteSize) / 2.0f);
    EXPECT_EQ(p.y, kHeight - kSatelliteSize);
    p = satellitePlace(0.0f, 0.0f, true, false, false);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, (kHeight - kSatelliteSize) / 2.0f);
}

TEST(PadMapping, CircularModeDrawsTheCornerOnTheCircleAt45Degrees) {
    for (int size : {kPlanetSize, kSatelliteSize}) {
        const float w = static_cast<float>(kWidth - size), h = static_cast<float>(kHeight - size);
        const Place p = place(128.0f, 128.0f, size, true);
        // Relative to the centre of the available square, in units of its
        // half size: on the unit circle, up and to the right at 45 degrees.
        const float u = p.x / (w / 2.0f) - 1.0f, v = p.y / (h / 2.0f) - 1.0f;
        EXPECT_NEAR(std::sqrt(u * u + v * v), 1.0f, 1e-5) << size;
        EXPECT_NEAR(u, -v, 1e-5);
        EXPECT_GT(u, 0.0f);
        EXPECT_NEAR(u, std::sqrt(0.5f), 1e-5);
        // Not the corner.
        EXPECT_GT(p.y, 0.1f * h);
        // The other corners likewise; points inside stay where they are.
        const Place q = place(0.0f, 0.0f, size, true);
        EXPECT_NEAR(q.x, w - p.x, 1e-3);
        EXPECT_NEAR(q.y, h - p.y, 1e-3);
        const Place inside = place(96.0f, 96.0f, size, true);
        EXPECT_NEAR(inside.x, 0.75f * w, 1e-3);
        EXPECT_NEAR(inside.y, 0.25f * h, 1e-3);
        const Place edge = place(128.0f, 64.0f, size, true);
        EXPECT_EQ(edge.x, w);
        EXPECT_EQ(edge.y, h / 2.0f);
    }
}

// A drag of d pixels moves the dragged sprite with the pointer, within
// d/128 + 1 pixels, in both modes (in circular mode inside the circle).
TEST(PadMapping, DraggedPlanetsAndSatellitesFollowThePointer) {
    const int moves[][2] = {{1, 0}, {0, 1}, {-7, 3}, {40, -40}, {-100, 0}, {0, -100}, {90, 90}, {-3, -120}};
    for (bool circular : {false, true}) {
        for (const auto& m : moves) {
            const int dx = m[0], dy = m[1];
            const float d = std::hypot(static_cast<float>(dx), static_cast<float>(dy));
            const float tolerance = d / 128.0f + 1.0f;
            const PlanetValues start{0.0f, 64.0f};
            const PlanetValues moved = dragPlanet(start, dx, dy);
            const gui::Point a = pixelOf(planetPlace(start.pan, start.level, circular));
            const gui::Point b = pixelOf(planetPlace(moved.pan, moved.level, circular));
            EXPECT_NEAR(b.x - a.x, dx, tolerance) << circular << " planet " << dx << "," << dy;
            EXPECT_NEAR(b.y - a.y, dy, tolerance) << circular << " planet " << dx << "," << dy;
            const SatelliteValues s0{64.0f, 64.0f};
            const SatelliteValues s1 = dragSatellite(s0, dx, dy);
            const gui::Point c = pixelOf(satellitePlace(s0.x, s0.y, true, true, circular));
            const gui::Point e = pixelOf(satellitePlace(s1.x, s1.y, true, true, circular));
            EXPECT_NEAR(e.x - c.x, dx, tolerance) << circular << " satellite " << dx << "," << dy;
            EXPECT_NEAR(e.y - c.y, dy, tolerance) << circular << " satellite " << dx << "," << dy;
        }
    }
}

TEST(PadMapping, DragsClampAndTheHostReadsTheEnds) {
    const PlanetValues right = dragPlanet(PlanetValues{0.5f, 64.0f}, 5000, 0);
    EXPECT_EQ(right.pan, 1.0f);
    EXPECT_EQ(hostValueOfPan(right.pan), 1.0f);
    const PlanetValues left = dragPlanet(PlanetValues{0.5f, 64.0f}, -5000, 0);
    EXPECT_EQ(left.pan, -1.0f);
    EXPECT_EQ(hostValueOfPan(left.pan), 0.0f);
    EXPECT_EQ(dragPlanet(PlanetValues{0.0f, 10.0f}, 0, -5000).level, 127.0f);
    EXPECT_EQ(dragPlanet(PlanetValues{0.0f, 10.0f}, 0, 5000).level, 0.0f);
    const SatelliteValues up = dragSatellite(SatelliteValues{20.0f, 120.0f}, 0, -500);
    EXPECT_EQ(up.y, 127.0f);
    EXPECT_EQ(hostValueOfAxis(up.y), 127.0f / 128.0f);
    EXPECT_EQ(up.x, 20.0f);
    EXPECT_EQ(dragSatellite(SatelliteValues{20.0f, 120.0f}, -500, 500).x, 0.0f);
    EXPECT_EQ(dragSatellite(SatelliteValues{20.0f, 120.0f}, -500, 500).y, 0.0f);
    // A full pad width of drag moves a satellite by 127.
    EXPECT_NEAR(dragSatellite(SatelliteValues{0.0f, 0.0f}, kWidth - kSatelliteSize, 0).x, 127.0f, 1e-4);
    EXPECT_EQ(satelliteXParameter(31), 62);
    EXPECT_EQ(planetPanParameter(7), 78);
}

TEST(PadMapping, HitTestsIncludeTheLabelAndPreferTheSelectedPlanet) {
    const gui::Rect a = hitRect(gui::Point{100, 100}, kPlanetSize);
    EXPECT_TRUE(a.contains(100, 100));
    EXPECT_TRUE(a.contains(139, 100 + kPlanetSize + kLabelHeight - 1));  // in the label
    EXPECT_FALSE(a.contains(140, 120));
    EXPECT_FALSE(a.contains(120, 100 + kPlanetSize + kLabelHeight));
    const std::vector<gui::Rect> planets = {hitRect({100, 100}, kPlanetSize), hitRect({110, 110}, kPlanetSize),
                                            hitRect({120, 120}, kPlanetSize), hitRect({300, 300}, kPlanetSize)};
    EXPECT_EQ(hitPlanet(planets, -1, 125, 125), 2);  // the last found
    EXPECT_EQ(hitPlanet(planets, 0, 125, 125), 0);   // the selected one wins
    EXPECT_EQ(hitPlanet(planets, 3, 125, 125), 2);   // selected but not hit
    EXPECT_EQ(hitPlanet(planets, 1, 105, 105), 0);
    EXPECT_EQ(hitPlanet(planets, 1, 5, 5), -1);
    const std::vector<gui::Rect> satellites = {hitRect({10, 10}, kSatelliteSize), hitRect({12, 12}, kSatelliteSize)};
    EXPECT_EQ(hitFirst(satellites, 13, 13), 0);  // the first in order
    EXPECT_EQ(hitFirst(satellites, 26, 40), 1);
    EXPECT_EQ(hitFirst(satellites, 50, 50), -1);
}

TEST(KeyStrip, KeysSetThePitchClassAndTheOctaveButtonsStopAtBothEnds) {
    EXPECT_EQ(keyOf(0.0f).octave, 3);
    EXPECT_EQ(keyOf(0.0f).pitchClass, 0);
    EXPECT_EQ(keyOf(-1.0f).octave, 2);
    EXPECT_EQ(keyOf(-1.0f).pitchClass, 11);
    // Keys: pitch class k / 20, octave kept.
    EXPECT_EQ(pressKeyStrip(0, 0.0f), 0.0f);
    EXPECT_EQ(pressKeyStrip(19, 0.0f), 0.0f);
    EXPECT_EQ(pressKeyStrip(20, 0.0f), 1.0f);
    EXPECT_EQ(pressKeyStrip(239, 12.0f), 23.0f);
    EXPECT_EQ(pressKeyStrip(45, -24.0f), -22.0f);
    // Octave down (240…255) and up (256…) keep the pitch class.
    EXPECT_EQ(pressKeyStrip(240, 5.0f), -7.0f);
    EXPECT_EQ(pressKeyStrip(255, 5.0f), -7.0f);
    EXPECT_EQ(pressKeyStrip(256, 5.0f), 17.0f);
    EXPECT_EQ(pressKeyStrip(269, 5.0f), 17.0f);
    // Octave 0 is the bottom, 9 the top.
    EXPECT_EQ(pressKeyStrip(240, -30.0f), -30.0f);
    EXPECT_EQ(pressKeyStrip(240, -36.0f), -36.0f);
    EXPECT_EQ(pressKeyStrip(256, 83.0f), 83.0f);
    EXPECT_EQ(pressKeyStrip(256, 72.0f), 72.0f);
    EXPECT_EQ(pressKeyStrip(256, 60.0f), 72.0f);
    EXPECT_EQ(pressKeyStrip(0, 83.0f), 72.0f);
    // A track that did not follow the transposition starts from none.
    EXPECT_EQ(pressKeyStrip(45, kNotFollowing), 2.0f);
    EXPECT_EQ(pressKeyStrip(260, kNotFollowing), 12.0f);
    // Damaged values stay inside the strip's range.
    EXPECT_EQ(pressKeyStrip(256, 1e30f), 83.0f);
    EXPECT_EQ(pressKeyStrip(240, -1e30f), -36.0f);
    EXPECT_EQ(pressKeyStrip(0, std::nanf("")), 0.0f);
}

TEST(PlanetGlow, FramesFromTheSquareRootOfTheMeter) {
    EXPECT_EQ(glowFrame(0.0f), 0);
    EXPECT_EQ(glowFrame(-1.0f), 0);
    EXPECT_EQ(glowFrame(std::nanf("")), 0);
    EXPECT_EQ(glowFrame(0.0001f), 0);   // 5 → 0
    EXPECT_EQ(glowFrame(0.0025f), 0);   // 25 → 250 / 255
    EXPECT_EQ(glowFrame(0.0036f), 1);   // 30 → 300 / 255
    EXPECT_EQ(glowFrame(0.01f), 1);     // 50
    EXPECT_EQ(glowFrame(0.04f), 3);     // 100 → 1000 / 255
    EXPECT_EQ(glowFrame(0.16f), 7);     // 200
    EXPECT_EQ(glowFrame(0.2304f), 9);   // 240 → 2400 / 255
    EXPECT_EQ(glowFrame(0.25f), 9);     // 250 → 9.8
    EXPECT_EQ(glowFrame(1.0f), 9);      // 500 → 255 → 10, limited to 9
    EXPECT_EQ(glowFrame(1e30f), 9);
}

TEST(Scope, OnePointPerColumnFromTheFirstSampleThatReachesIt) {
    const ScopeShape shape;
    EXPECT_EQ(shape.envelope(0), 0.0f);
    EXPECT_NEAR(shape.envelope(kWidth / 2), kHeight / 2.0f, 0.01f);
    EXPECT_NEAR(shape.envelope(100), std::sin(100 * 3.14159265358979 / kWidth) * kHeight / 2.0, 1e-3);
    // A tiny ramp: the point of column c shows sample i_c, the first index
    // with i · 397 / 1389 >= c.
    std::vector<float> ramp(kScopeSamples);
    for (int i = 0; i < kScopeSamples; ++i) ramp[static_cast<size_t>(i)] = static_cast<float>(i) * 1e-5f;
    float xy[2 * kMaxTracePoints];
    const int n = shape.trace(ramp.data(), xy);
    ASSERT_EQ(n, kWidth);  // columns 0…396
    for (int c = 0; c < n; ++c) {
        ASSERT_EQ(xy[2 * c], static_cast<float>(c));
        const int first = (c * kScopeSamples + kWidth - 1) / kWidth;
        const float v = std::min(first * 1e-5f * kHeight / 2.0f, shape.envelope(c));
        ASSERT_NEAR(xy[2 * c + 1], kHeight / 2.0f - v, 1e-3) << c;
    }
}

TEST(Scope, EachColumnIsHeldInsideTheEnvelope) {
    const ScopeShape shape;
    std::vector<float> full(kScopeSamples, 1.0f), low(kScopeSamples, -1.0f), small(kScopeSamples, 0.1f);
    float xy[2 * kMaxTracePoints];
    ASSERT_EQ(shape.trace(full.data(), xy), kWidth);
    for (int c = 0; c < kWidth; ++c) ASSERT_NEAR(xy[2 * c + 1], kHeight / 2.0f - shape.envelope(c), 1e-4);
    shape.trace(low.data(), xy);
    for (int c = 0; c < kWidth; ++c) ASSERT_NEAR(xy[2 * c + 1], kHeight / 2.0f + shape.envelope(c), 1e-4);
    // A quiet signal is clamped only near the edges.
    shape.trace(small.data(), xy);
    EXPECT_EQ(xy[1], kHeight / 2.0f);
    EXPECT_NEAR(xy[2 * 200 + 1], kHeight / 2.0f - 0.1f * kHeight / 2.0f, 1e-4);
    // The average of opposite buffers is flat; NaN draws as silence.
    std::vector<float> nan(kScopeSamples, std::nanf(""));
    ASSERT_EQ(shape.averageTrace(full.data(), low.data(), xy), kWidth);
    for (int c = 0; c < kWidth; ++c) ASSERT_EQ(xy[2 * c + 1], kHeight / 2.0f);
    shape.trace(nan.data(), xy);
    for (int c = 0; c < kWidth; ++c) ASSERT_EQ(xy[2 * c + 1], kHeight / 2.0f);
}

TEST(Scope, ASteadyToneStandsStillAtItsRisingZeroCrossing) {
    // A tone of 300 samples per period read at different moments: the
    // shown window always starts at the same phase, just past zero going up.
    std::vector<float> left(kScopeReadSamples), right(kScopeReadSamples);
    for (int moment : {0, 37, 151, 299}) {
        for (int i = 0; i < kScopeReadSamples; ++i) {
            const double phase = (i + moment) * 2.0 * 3.14159265358979 / 300.0;
            left[static_cast<size_t>(i)] = static_cast<float>(0.4 * std::sin(phase));
            right[static_cast<size_t>(i)] = static_cast<float>(0.2 * std::sin(phase));
        }
        const int start = scopeTrigger(left.data(), right.data());
        ASSERT_LT(start, kScopeSamples);
        EXPECT_GE(left[static_cast<size_t>(start)], 0.0f) << moment;
        EXPECT_LT(left[static_cast<size_t>(start - 1)], 0.0f) << moment;
        // sin(2π) is a hair below zero: the crossing may come one sample late.
        EXPECT_LE((start + moment) % 300, 1) << moment;
        EXPECT_LE(start, 301);
    }
    // Silence, noise within the hysteresis or a falling edge only: the newest samples.
    std::vector<float> quiet(kScopeReadSamples);
    for (int i = 0; i < kScopeReadSamples; ++i) quiet[static_cast<size_t>(i)] = (i % 2 ? 0.0004f : -0.0004f);
    EXPECT_EQ(scopeTrigger(quiet.data(), quiet.data()), kScopeSamples);
    std::vector<float> falling(kScopeReadSamples);
    for (int i = 0; i < kScopeReadSamples; ++i) falling[static_cast<size_t>(i)] = 1.0f - 0.001f * i;
    EXPECT_EQ(scopeTrigger(falling.data(), falling.data()), kScopeSamples);
}

}  // namespace
