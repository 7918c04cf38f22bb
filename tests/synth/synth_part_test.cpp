// A parameter moved alone sets its own coefficients (computePartValue)
// where it can: the part must come out bit for bit as computePart() makes
// it from all the values, and a parameter it leaves to computePart() must
// leave the part untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "modules/synth_params.h"
#include "modules/synth_part.h"

namespace {

using namespace synth;

// computePart() into a zeroed record, so that padding compares too.
PartCoefficients computed(const float* values, float rate, float bend) {
    PartCoefficients part;
    std::memset(static_cast<void*>(&part), 0, sizeof(part));
    computePart(part, values, rate, bend);
    return part;
}

bool sameRecord(const PartCoefficients& a, const PartCoefficients& b) {
    return std::memcmp(&a, &b, sizeof(PartCoefficients)) == 0;
}

float randomStored(std::mt19937& rng, int param) {
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    if (isSelector(param)) return static_cast<float>(static_cast<int>(u(rng) * 4.0f) % 4);
    // Switch-like values sit on the ends now and then.
    const float r = u(rng);
    return r < 0.1f ? 0.0f : r < 0.2f ? 1.0f : u(rng);
}

TEST(SynthPartValue, OneParameterSetAloneMatchesTheWholePart) {
    std::mt19937 rng(404);
    const float rates[] = {22050.0f, 44100.0f, 96000.0f};
    int narrow = 0, whole = 0;
    for (int trial = 0; trial < 400; ++trial) {
        float values[kPartParams];
        for (int p = 0; p < kPartParams; ++p) values[p] = randomStored(rng, p);
        const float rate = rates[trial % 3];
        const float bend = static_cast<float>(trial % 5) * 0.25f - 0.5f;
        for (int param = 0; param < kPartParams; ++param) {
            PartCoefficients part = computed(values, rate, bend);
            PartCoefficients before;
            std::memcpy(static_cast<void*>(&before), &part, sizeof(part));
            float moved[kPartParams];
            std::memcpy(moved, values, sizeof(moved));
            moved[param] = randomStored(rng, param);
            if (computePartValue(part, moved, param, rate)) {
                ASSERT_TRUE(sameRecord(part, computed(moved, rate, bend))) << "parameter " << param;
                ++narrow;
            } else {
                ASSERT_TRUE(sameRecord(part, before)) << "parameter " << param << " changed the part";
                ++whole;
            }
        }
    }
    EXPECT_GT(narrow, 0);
    EXPECT_GT(whole, 0);
}

// The parameters performances move most take the short way; those the lane
// shape or the pitch hang on never do.
TEST(SynthPartValue, CutoffAndEnvelopesAloneShapesAndPitchWhole) {
    float values[kPartParams];
    defaultPartValues(values);
    PartCoefficients part;
    computePart(part, values, 44100.0f, 0.0f);
    for (int p : {kFilterFrequency, kFilterQ, kFilterEnvelop, kDcoMix, kOutEnvDecay, kOutEnvRelease, kOutLevel})
        EXPECT_TRUE(computePartValue(part, values, p, 44100.0f)) << p;
    for (int p : {kDco1Wave, kDco2Wave, kFilterDco1, kFilterPente, kDcoSynchro, kDco1OutputEnv, kDco2EnvFreq,
                  kDco1Coarse, kDco2Fine, kDco1PitchBend, kLfo1Rate, kLfo2Wave, kFilterType})
        EXPECT_FALSE(computePartValue(part, values, p, 44100.0f)) << p;
}

}  // namespace
