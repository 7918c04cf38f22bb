#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "tests/project/project_fixture.h"
#include "track/equaliser.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 44100.0;

// The cookbook forms written out again, independently of the track's code:
// the magnitude of one band at f Hz.
double cookbookMagnitude(int band, double bandHz, double gainDb, double q, double f) {
    const double A = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2 * kPi * bandHz / kRate, c = std::cos(w0), alpha = std::sin(w0) / (2 * q);
    const double s = 2 * std::sqrt(A) * alpha;
    double b[3], a[3];
    if (band == 0) {
        b[0] = A * ((A + 1) - (A - 1) * c + s);
        b[1] = 2 * A * ((A - 1) - (A + 1) * c);
        b[2] = A * ((A + 1) - (A - 1) * c - s);
        a[0] = (A + 1) + (A - 1) * c + s;
        a[1] = -2 * ((A - 1) + (A + 1) * c);
        a[2] = (A + 1) + (A - 1) * c - s;
    } else if (band == 1) {
        b[0] = 1 + alpha * A;
        b[1] = -2 * c;
        b[2] = 1 - alpha * A;
        a[0] = 1 + alpha / A;
        a[1] = -2 * c;
        a[2] = 1 - alpha / A;
    } else {
        b[0] = A * ((A + 1) + (A - 1) * c + s);
        b[1] = -2 * A * ((A - 1) + (A + 1) * c);
        b[2] = A * ((A + 1) + (A - 1) * c - s);
        a[0] = (A + 1) - (A - 1) * c + s;
        a[1] = 2 * ((A - 1) - (A + 1) * c);
        a[2] = (A + 1) - (A - 1) * c - s;
    }
    const std::complex<double> z = std::polar(1.0, -2 * kPi * f / kRate);
    return std::abs((b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z));
}

// Amplitude of the track's output for a sine of f Hz, after settling.
double renderedAmplitude(TestEngine& e, double f) {
    ProbeSynth::sineHz = f;
    e.render(16384);
    e.render(16384);
    double sum = 0;
    for (float v : e.left) sum += static_cast<double>(v) * v;
    return std::sqrt(2 * sum / e.left.size());
}

}  // namespace

TEST(TrackEqualiser, RenderedResponseMatchesTheCookbookBands) {
    TestEngine e;
    CInstrument& t = *&addProbeTrack(e);
    ProbeSynth::level[0] = ProbeSynth::level[1] = 0.01f;
    t.level = 63.0f;  // unity strip: T2 0.25 * T3 at 127 (4)
    t.planetLevel = 127.0f;
    const double frequencies[] = {60.0, 100.0, 500.0, 1000.0, 2000.0, 8000.0};
    double dry[6];
    for (int i = 0; i < 6; ++i) dry[i] = renderedAmplitude(e, frequencies[i]);
    EXPECT_NEAR(dry[2], 0.01, 1e-4);

    // Low shelf +12 dB at 100 Hz, peak -10 dB at 1 kHz, high shelf +6 dB at
    // 2 kHz, each with its own resonance.
    const float x[3] = {0.2407676f, 0.5851f, 0.6889311f}, gain[3] = {0.6f, -0.5f, 0.3f}, res[3] = {0.707f, 0.5f, 0.2f};
    for (int b = 0; b < 3; ++b) {
        t.setMixParameter(4 + 3 * b, x[b]);
        t.setMixParameter(5 + 3 * b, res[b]);
        t.setMixParameter(6 + 3 * b, (gain[b] + 1.0f) / 2.0f);
    }
    t.setMixParameter(3, 1.0f);
    for (int i = 0; i < 6; ++i) {
        double expected = 1.0;
        for (int b = 0; b < 3; ++b) {
            const double hz = 20.0 * std::pow(800.0, static_cast<double>(x[b]));
            const double q = 0.2 * std::pow(b == 1 ? 25.0 : 7.0, static_cast<double>(res[b]));
            expected *= cookbookMagnitude(b, hz, 20.0 * gain[b], q, frequencies[i]);
        }
        const double measuredDb = 20 * std::log10(renderedAmplitude(e, frequencies[i]) / dry[i]);
        EXPECT_NEAR(measuredDb, 20 * std::log10(expected), 0.1) << frequencies[i] << " Hz";
    }
}

TEST(TrackEqualiser, SwitchingOffFadesEachBandOutOverAbout690Samples) {
    TrackEqualiser eq;
    eq.recomputeBand(1, 0.5f, 0.7f, 0.5f, kRate);
    float l[1] = {0.1f}, r[1] = {0.1f};
    for (int i = 0; i < 4000; ++i) eq.process(l, r, 1, 1.0f);
    EXPECT_NEAR(eq.band(1).wet[0], 1.0f, 1e-5f);
    int samples = 0;
    while (eq.band(1).wet[0] > 0.001f && samples < 5000) {
        eq.process(l, r, 1, 0.0f);
        ++samples;
    }
    EXPECT_NEAR(samples, 688, 3);
    const float wet = eq.band(1).wet[0];
    eq.process(l, r, 1, 0.0f);
    EXPECT_EQ(eq.band(1).wet[0], wet);  // no longer filtering
}

TEST(TrackEqualiser, CoefficientQueueHoldsAtMostOneHundredRecords) {
    TrackEqualiser eq;
    for (int i = 0; i < 150; ++i) eq.recomputeBand(i % 3, 0.5f, 0.7f, static_cast<float>(i) / 150.0f, kRate);
    float l[1] = {0}, r[1] = {0};
    eq.process(l, r, 1, 0.0f);
    // The last record applied is number 99: band 0 with its gain.
    const BiquadCoefficients k = designBiquad(BiquadShape::LowShelf, 20.0 * std::pow(800.0, 0.5), 20.0 * 99 / 150.0,
                                              0.2 * std::pow(7.0, 0.7), kRate);
    EXPECT_NEAR(eq.band(0).b0, k.b0, 1e-5);
}

TEST(TrackEqualiser, ExtremeSettingsNeverProduceNonFiniteCoefficients) {
    TrackEqualiser eq;
    eq.recomputeBand(0, 0.5f, 0.7f, 0.5f, kRate);
    eq.recomputeBand(0, 0.5f, 0.7f, 1e30f, kRate);  // dropped
    eq.recomputeBand(2, 1.0f, 0.7f, 0.5f, 22050.0);  // 16 kHz above Nyquist
    float l[1] = {0.5f}, r[1] = {0.5f};
    for (int i = 0; i < 100; ++i) eq.process(l, r, 1, 1.0f);
    for (int b = 0; b < 3; ++b) EXPECT_TRUE(std::isfinite(eq.band(b).b0) && std::isfinite(eq.band(b).a1));
    EXPECT_TRUE(std::isfinite(l[0]));
}
