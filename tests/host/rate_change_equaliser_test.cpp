// A sample-rate change from the host: the track equaliser filters the very
// next blocks at its bands' frequencies for the new rate. The coefficients
// are worked out again on the audio thread as the change arrives (the rate
// only exists there); coefficients made elsewhere would come a block or more
// late, and until then a 1 kHz band would act at 1 kHz × new / old rate.
#include <gtest/gtest.h>

#include <cmath>

#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

namespace {

// A 1 kHz sine at whatever rate the module was given.
class ToneProbe : public KavoModule {
public:
    static const ModuleInfo kInfo;
    explicit ToneProbe(audioMasterCallback audioMaster) : KavoModule(audioMaster, 1, 1, kInfo) {}
    void processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) override {
        const double step = 2.0 * M_PI * 1000.0 / getSampleRate();
        for (VstInt32 f = 0; f < frames; ++f) {
            outputs[0][f] = outputs[1][f] = static_cast<float>(0.05 * std::sin(phase_));
            phase_ = std::fmod(phase_ + step, 2.0 * M_PI);
        }
    }

private:
    double phase_ = 0.0;
};
const ModuleInfo ToneProbe::kInfo{"Tone probe", "KAVO tone probe", vstFourCC('t', 'o', 'n', 'p'), 0, 2, true};
AudioEffectX* createToneProbe(audioMasterCallback m) { return new ToneProbe(m); }
const ModuleClassEntry kToneProbeClass{"KavoToneProbe", &createToneProbe, false};

double rmsDb(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x) sum += static_cast<double>(v) * v;
    return 10.0 * std::log10(sum / static_cast<double>(x.size()));
}

}  // namespace

TEST(RateChange, EqualiserBandsKeepTheirFrequencyFromTheFirstBlockAtTheNewRate) {
    TestEngine e;
    Effect* effect = e.effect;
    CInstrument& t = addModuleTrack(*effect, "\\KavoToneProbe.dll", &kToneProbeClass);
    ASSERT_TRUE(t.mainSlot().loaded());
    // Peaking band at 1 kHz (20 Hz · 800^x), +20 dB; the shelves flat.
    t.bandFrequency[1] = static_cast<float>(std::log(50.0) / std::log(800.0));
    t.bandGain[1] = 1.0f;
    t.bandResonance[1] = 0.5f;
    for (int b : {0, 2}) t.bandGain[b] = 0.0f;
    t.recomputeAllBands();

    std::vector<float> l, r;
    auto levelAt = [&](double rate, bool eqOn) {
        e.host.time.sampleRate = rate;
        t.equaliserOn = eqOn ? 1.0f : 0.0f;
        renderBlock(*effect, 4096, l, r);  // the first block at this rate: its second half
        return rmsDb(std::vector<float>(l.begin() + 2048, l.end()));
    };
    for (int i = 0; i < 20; ++i) renderBlock(*effect, 2048, l, r);
    const double flat44 = levelAt(44100.0, false);
    for (int i = 0; i < 4; ++i) renderBlock(*effect, 2048, l, r);  // the band fades in
    const double boosted44 = levelAt(44100.0, true);
    const double boosted96 = levelAt(96000.0, true);
    const double boosted48 = levelAt(48000.0, true);
    EXPECT_GT(boosted44 - flat44, 15.0);
    EXPECT_NEAR(boosted96, boosted44, 0.5);
    EXPECT_NEAR(boosted48, boosted44, 0.5);
}
