#include "editor/pad_mapping.h"

#include <algorithm>
#include <cmath>

#include "gui/exact_math.h"

namespace pad {

namespace {

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

Place place(float x, float y, int spriteSize, bool circular) {
    const float w = static_cast<float>(kWidth - spriteSize);
    const float h = static_cast<float>(kHeight - spriteSize);
    if (!circular) return Place{w * x / 128.0f, h * (128.0f - y) / 128.0f};
    float u = x / 64.0f - 1.0f;
    float v = 1.0f - y / 64.0f;  // pixel rows grow downwards: high y on top
    const float r = std::sqrt(u * u + v * v);
    if (r > 1.0f) {
        u /= r;
        v /= r;
    }
    return Place{w * (u + 1.0f) / 2.0f, h * (v + 1.0f) / 2.0f};
}

gui::Point pixelOf(const Place& p) {
    return gui::Point{static_cast<int>(std::floor(p.x + 0.5f)), static_cast<int>(std::floor(p.y + 0.5f))};
}

Place planetPlace(float pan, float level, bool circular) {
    return place((pan + 1.0f) * 64.0f, level, kPlanetSize, circular);
}

Place satellitePlace(float x, float y, bool hasHorizontal, bool hasVertical, bool circular) {
    return place(hasHorizontal ? x : 64.0f, hasVertical ? y : 64.0f, kSatelliteSize, circular);
}

gui::Rect hitRect(const gui::Point& at, int spriteSize) {
    return gui::Rect{at.x, at.y, at.x + spriteSize, at.y + spriteSize + kLabelHeight};
}

PlanetValues dragPlanet(const PlanetValues& start, int dx, int dy) {
    const float w = static_cast<float>(kWidth - kPlanetSize);
    const float h = static_cast<float>(kHeight - kPlanetSize);
    return PlanetValues{clampf(start.pan + 2.0f * static_cast<float>(dx) / w, -1.0f, 1.0f),
                        clampf(start.level - 127.0f * static_cast<float>(dy) / h, 0.0f, 127.0f)};
}

SatelliteValues dragSatellite(const SatelliteValues& start, int dx, int dy) {
    const float w = static_cast<float>(kWidth - kSatelliteSize);
    const float h = static_cast<float>(kHeight - kSatelliteSize);
    return SatelliteValues{clampf(start.x + 127.0f * static_cast<float>(dx) / w, 0.0f, 127.0f),
                           clampf(start.y - 127.0f * static_cast<float>(dy) / h, 0.0f, 127.0f)};
}

int hitFirst(const std::vector<gui::Rect>& rects, int x, int y) {
    for (size_t i = 0; i < rects.size(); ++i)
        if (rects[i].contains(x, y)) return static_cast<int>(i);
    return -1;
}

int hitPlanet(const std::vector<gui::Rect>& rects, int selected, int x, int y) {
    int last = -1;
    for (size_t i = 0; i < rects.size(); ++i) {
        if (!rects[i].contains(x, y)) continue;
        if (static_cast<int>(i) == selected) return selected;
        last = static_cast<int>(i);
    }
    return last;
}

KeyChoice keyOf(float transposition) {
    // Damaged values (not finite, far out) read as the nearest end.
    float t = transposition == kNotFollowing || std::isnan(transposition) ? 0.0f : transposition;
    t = clampf(t, -36.0f, 83.0f);
    const int base = static_cast<int>(t) + 36;  // 0…119
    return KeyChoice{base / 12, base % 12};
}

float pressKeyStrip(int k, float transposition) {
    KeyChoice key = keyOf(transposition);
    if (k < kOctaveDownAt)
        key.pitchClass = std::clamp(k / kKeyWidth, 0, 11);
    else if (k < kOctaveUpAt)
        key.octave = std::max(0, key.octave - 1);
    else
        key.octave = std::min(9, key.octave + 1);
    return static_cast<float>(key.pitchClass + 12 * key.octave - 36);
}

int glowFrame(float meter) {
    if (!(meter > 0.0f)) return 0;  // silence, NaN
    const float scaled = std::sqrt(meter) * 500.0f;
    const int level = scaled >= 255.0f ? 255 : static_cast<int>(scaled);
    return std::min(9, level * 10 / 255);
}

int scopeTrigger(const float* left, const float* right) {
    // A crossing from below -0.001 to at least 0: quiet noise around zero
    // does not trigger.
    constexpr float kHysteresis = 0.001f;
    bool armed = false;
    for (int i = 0; i < kScopeSamples; ++i) {
        const float s = left[i] + right[i];
        if (s < -kHysteresis) armed = true;
        else if (armed && s >= 0.0f) return i;
    }
    return kScopeSamples;
}

ScopeShape::ScopeShape() {
    for (int j = 0; j < kWidth; ++j)
        envelope_[static_cast<size_t>(j)] =
            static_cast<float>(gui::exactSin(j * gui::kPi / kWidth) * (kHeight / 2.0));
}

template <class Sample>
int ScopeShape::traceOf(Sample sample, float* xy) const {
    const float middle = kHeight / 2.0f;
    const float scale = kHeight / 2.0f;
    auto point = [&](int column, float s) {
        const float e = envelope_[static_cast<size_t>(column)];
        const float v = std::isnan(s) ? 0.0f : clampf(s * scale, -e, e);
        return middle - v;
    };
    int n = 0;
    xy[0] = 0.0f;
    xy[1] = point(0, sample(0));
    n = 1;
    int previous = 0;
    for (int i = 1; i < kScopeSamples; ++i) {
        const int c = i * kWidth / kScopeSamples;
        if (c == previous) continue;
        previous = c;
        xy[2 * n] = static_cast<float>(c);
        xy[2 * n + 1] = point(c, sample(i));
        ++n;
    }
    return n;
}

int ScopeShape::trace(const float* samples, float* xy) const {
    return traceOf([samples](int i) { return samples[i]; }, xy);
}

int ScopeShape::averageTrace(const float* left, const float* right, float* xy) const {
    return traceOf([left, right](int i) { return (left[i] + right[i]) * 0.5f; }, xy);
}

}  // namespace pad
