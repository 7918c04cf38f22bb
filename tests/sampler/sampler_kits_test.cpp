// The room kit, the second electronic set and the hand percussion of the
// built-in store, measured from the stored samples: each hit starts and ends
// in silence, and each sounds where its name says (pitch of the drums,
// spectrum of the shakers and bells, length of the hats).
#include <cmath>
#include <string>
#include <vector>

#include "tests/sampler/sampler_test_host.h"

using namespace sampler;

namespace {

const char* const kKitHits[] = {"Room Kick.wav", "Room Snare.wav", "Side Stick.wav", "Room Hat.wav", "Boom Kick.wav",
                                "Snap.wav",      "Tick Hat.wav",   "Zap.wav",        "Conga High.wav",
                                "Conga Low.wav", "Shaker.wav",     "Clave.wav",      "Cowbell.wav"};

std::vector<double> valuesOf(const char* name) {
    const auto s = SampleLibrary::shared().find(name, SampleChannels::MonoMix);
    std::vector<double> out;
    if (s == nullptr) return out;
    for (int16_t v : s->samples) out.push_back(v / 32768.0);
    return out;
}

// Magnitude of one frequency over a stretch of the signal.
double amplitudeAt(const std::vector<double>& x, size_t from, size_t to, double hz) {
    double s = 0.0, c = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i) {
        double w = 2.0 * M_PI * hz * static_cast<double>(i) / 44100.0;
        s += x[i] * std::sin(w);
        c += x[i] * std::cos(w);
    }
    return std::sqrt(s * s + c * c);
}

// The strongest frequency in a band, scanned in 1 Hz steps.
double strongestHz(const std::vector<double>& x, size_t from, size_t to, double lowHz, double highHz) {
    double best = lowHz, bestAmp = -1.0;
    for (double hz = lowHz; hz <= highHz; hz += 1.0) {
        double a = amplitudeAt(x, from, to, hz);
        if (a > bestAmp) {
            bestAmp = a;
            best = hz;
        }
    }
    return best;
}

// Power-weighted mean frequency, from a plain DFT on a 50 Hz grid.
double centroidHz(const std::vector<double>& x, size_t from, size_t to) {
    double num = 0.0, den = 0.0;
    for (double hz = 50.0; hz < 20000.0; hz += 50.0) {
        double a = amplitudeAt(x, from, to, hz);
        num += hz * a * a;
        den += a * a;
    }
    return den > 0.0 ? num / den : 0.0;
}

// Time until the 5 ms envelope falls 40 dB below its peak for good.
double ringSeconds(const std::vector<double>& x) {
    const size_t window = 220;
    std::vector<double> env;
    for (size_t i = 0; i + window <= x.size(); i += window) {
        double sum = 0.0;
        for (size_t j = i; j < i + window; ++j) sum += x[j] * x[j];
        env.push_back(std::sqrt(sum / window));
    }
    double peak = 0.0;
    for (double e : env) peak = std::max(peak, e);
    size_t last = 0;
    for (size_t k = 0; k < env.size(); ++k) {
        if (env[k] > peak * 0.01) last = k;
    }
    return static_cast<double>((last + 1) * window) / 44100.0;
}

}  // namespace

TEST(SamplerKits, EveryHitIsStoredAndStartsAndEndsInSilence) {
    for (const char* name : kKitHits) {
        const auto s = SampleLibrary::shared().find(name, SampleChannels::AsStored);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ(s->sampleRateHz, 44100.0f) << name;
        EXPECT_GT(s->frameCount, 4000u) << name;
        EXPECT_EQ(s->samples.front(), 0) << name;
        EXPECT_EQ(s->samples.back(), 0) << name;
        double sum = 0.0, peak = 0.0;
        for (int16_t v : s->samples) {
            sum += v;
            peak = std::max(peak, std::fabs(v / 32768.0));
        }
        EXPECT_LT(std::fabs(sum / s->samples.size() / 32768.0), 0.001) << name;
        EXPECT_GT(peak, 0.3) << name;   // normalised, not a near-silent file
        EXPECT_LT(peak, 0.95) << name;  // with headroom below full scale
    }
}

TEST(SamplerKits, TheCongasAreTunedAFifthApart) {
    const auto high = valuesOf("Conga High.wav");
    const auto low = valuesOf("Conga Low.wav");
    ASSERT_FALSE(high.empty());
    ASSERT_FALSE(low.empty());
    // After the slap, the skin's fundamental rings.
    const double highHz = strongestHz(high, 2000, 12000, 150.0, 600.0);
    const double lowHz = strongestHz(low, 2000, 12000, 150.0, 600.0);
    EXPECT_NEAR(highHz, 330.0, 8.0);
    EXPECT_NEAR(lowHz, 220.0, 8.0);
    EXPECT_NEAR(highHz / lowHz, 1.5, 0.04);
}

TEST(SamplerKits, TheBoomKickHoldsATunedLowNoteWithLittleBelowThirtyHertz) {
    const auto boom = valuesOf("Boom Kick.wav");
    ASSERT_GT(boom.size(), 30000u);
    // Once the pitch sweep is over, the note rests on A1.
    EXPECT_NEAR(strongestHz(boom, 4410, 30000, 30.0, 200.0), 55.0, 3.0);
    // Its energy sits above 30 Hz, so small speakers hear it.
    double below = 0.0, above = 0.0;
    for (double hz = 10.0; hz < 400.0; hz += 2.0) {
        double a = amplitudeAt(boom, 0, 30000, hz);
        (hz < 30.0 ? below : above) += a * a;
    }
    EXPECT_LT(below / (below + above), 0.1);
    // It rings much longer than the room kick, which is damped.
    EXPECT_GT(ringSeconds(boom), 2.0 * ringSeconds(valuesOf("Room Kick.wav")));
}

TEST(SamplerKits, BrightAndDarkHitsSitWhereTheirNamesSay) {
    const auto shaker = valuesOf("Shaker.wav");
    const auto kick = valuesOf("Room Kick.wav");
    const auto snare = valuesOf("Room Snare.wav");
    ASSERT_FALSE(shaker.empty());
    EXPECT_GT(centroidHz(shaker, 0, 4000), 5000.0);
    EXPECT_LT(centroidHz(kick, 0, 4000), 800.0);
    const double snareCentroid = centroidHz(snare, 0, 4000);
    EXPECT_GT(snareCentroid, 1500.0);
    EXPECT_LT(snareCentroid, 8000.0);
    // The clave rings at one hard-wood mode.
    EXPECT_NEAR(strongestHz(valuesOf("Clave.wav"), 200, 3000, 1000.0, 5000.0), 2480.0, 20.0);
}

TEST(SamplerKits, TheCowbellSoundsItsTwoTonesAboveTheirHarmonics) {
    const auto bell = valuesOf("Cowbell.wav");
    ASSERT_FALSE(bell.empty());
    const double first = amplitudeAt(bell, 0, 8000, 562.0);
    const double second = amplitudeAt(bell, 0, 8000, 845.0);
    // Between the tones and an octave above them, far less.
    EXPECT_GT(first, 4.0 * amplitudeAt(bell, 0, 8000, 700.0));
    EXPECT_GT(second, 4.0 * amplitudeAt(bell, 0, 8000, 700.0));
    EXPECT_GT(second, 4.0 * amplitudeAt(bell, 0, 8000, 1690.0));
}

TEST(SamplerKits, TheTickHatIsTheShortestAndTheZapFalls) {
    const double tick = ringSeconds(valuesOf("Tick Hat.wav"));
    EXPECT_LT(tick, 0.06);
    EXPECT_LT(tick, ringSeconds(valuesOf("Room Hat.wav")));
    // The zap starts high and ends low: strongest frequency early and late.
    const auto zap = valuesOf("Zap.wav");
    const double early = strongestHz(zap, 0, 441, 100.0, 4000.0);
    const double late = strongestHz(zap, 4410, 8820, 100.0, 4000.0);
    EXPECT_GT(early, 4.0 * late);
}
