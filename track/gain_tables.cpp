#include "track/gain_tables.h"

#include <cmath>

#include "common/portable_math.h"

namespace {

// Bases are the 63rd roots of 256, 4, 8 and 16 and the 31st roots of 32*sqrt 2
// and 4*sqrt 2, rounded to single precision.
constexpr float kLowLevelBase = 1.0920085f;     // 256^(1/63)
constexpr float kHighLevelBase = 1.0222485f;    // 4^(1/63)
constexpr float kHighTrackBase = 1.0335578f;    // 8^(1/63)
constexpr float kLowPlanetBase = 1.0449921f;    // 16^(1/63)
constexpr float kLowCrossfadeBase = 1.1308593f; // (32 sqrt 2)^(1/31)
constexpr float kMidCrossfadeBase = 1.0574908f; // (4 sqrt 2)^(1/31)
constexpr float kSilence = 1e-6f;

float power(float base, int exponent) {
    return static_cast<float>(portable::pow(static_cast<double>(base), static_cast<double>(exponent)));
}

}  // namespace

void GainTables::build() {
    for (int i = 0; i < 128; ++i) {
        if (i < 64) {
            level[i] = 0.25f * power(kLowLevelBase, i - 63);
            trackLevel[i] = 0.25f * power(kLowLevelBase, i - 63);
            planetLevel[i] = power(kLowPlanetBase, i - 63);
            crossfade[i] = i < 32 ? 0.17677669f * power(kLowCrossfadeBase, i - 31) : power(kMidCrossfadeBase, i - 63);
        } else {
            level[i] = power(kHighLevelBase, i - 127);
            trackLevel[i] = 2.0f * power(kHighTrackBase, i - 127);
            planetLevel[i] = 4.0f * power(kHighLevelBase, i - 127);
            crossfade[i] = 1.0f;
        }
    }
    level[0] = trackLevel[0] = planetLevel[0] = crossfade[0] = kSilence;
}
