// The track's three-band equaliser: a low shelf, a peaking band and a high
// shelf in series (biquads, direct form I). Coefficients are computed on the
// thread that changes a band and reach the audio thread through a queue; each
// band fades in and out through its wet mix so switching never clicks.
#pragma once

#include "common/bounded_queue.h"
#include "common/cpu_features.h"

enum class BiquadShape { LowShelf, Peaking, HighShelf, BandPass, LowPass };

struct BiquadCoefficients {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

// The published audio-EQ cookbook forms. Frequency in Hz, gain in dB, q the
// quality; the result is normalised by a0.
BiquadCoefficients designBiquad(BiquadShape shape, double frequencyHz, double gainDb, double q, double sampleRateHz);

struct EqBandRecord {
    int band = 0;
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
};

struct EqBandState {
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    float x1[2] = {0, 0}, x2[2] = {0, 0}, y1[2] = {0, 0}, y2[2] = {0, 0};
    float wet[2] = {0, 0};
    float onTarget = 0.0f;
};

// A band's four-frame form (equaliser_lanes.h): column j gives four frames'
// response to input j of (x[n], x[n+1], x[n+2], x[n+3], x[n-1], x[n-2],
// y[n-1], y[n-2]), written twice (lanes 0-3 and 4-7) so that the
// two-channel pass loads it straight into both halves of a register.
// identity: the band is flat (its output is its input at every frequency).
struct EqBlockColumns {
    float c[8][8] = {};
    bool identity = false;
};

class TrackEqualiser {
public:
    static constexpr int kBands = 3;
    static constexpr int kQueueLimit = 100;
    // Per-frame step of the wet mix; the input that stands in for an exact
    // zero (keeps the recursion away from denormals); outputs no larger are 0.
    static constexpr float kWetSmoothing = 0.01f;
    static constexpr float kZeroInput = 0.00001f;
    static constexpr float kOutputFloor = 1e-10f;

    TrackEqualiser();

    // Any thread: computes band b's coefficients from its normalised
    // frequency x (20 Hz * 800^x), gain -1..1 (+-20 dB) and resonance, and
    // queues them. Dropped when 100 records are already waiting.
    void recomputeBand(int band, float frequency, float resonance, float gain, double sampleRateHz);

    // Audio thread: applies the queued records, then filters the two
    // channels in place band by band while the band is on or still fading.
    void process(float* left, float* right, int frames, float equaliserOn);
    // Audio thread, for a track at rest: applies the queued records and
    // moves the wet mixes as process() would over `frames` frames, without
    // signal (right: whether process() is given a right channel).
    void rest(int frames, float equaliserOn, bool right);

    const EqBandState& band(int b) const { return bands_[b]; }
    void reset();
    // Audio thread: the filters' memories emptied and the wet mix back at 0,
    // from where it glides in as after a reset; the coefficients stay.
    void clearSignal();

    // Two channels run in one pass through eight lanes where the processor
    // has them (x86_64 with AVX2), each channel through four lanes
    // otherwise; the output is the same to the bit. false keeps this
    // equaliser on the four-lane pass (tests compare the two).
    void allowWideLanes(bool allowed);
    bool wideLanes() const { return wide_; }
    // Once every mix holds, a flat band (0 dB) passes its input on instead of
    // filtering it; false filters it as any other (tests compare the two).
    void allowFlatSkip(bool allowed) { skipFlat_ = allowed; }
    // Flat bands that give their input back, but for the last, drop out of
    // the four-frame chain and take their memories from the band after them;
    // false runs them in place (tests compare the two, bit for bit).
    void allowFlatBandsLeftOut(bool allowed) { leaveFlatOut_ = allowed; }

private:
    void applyQueued();
    // Every band on and every wet mix settled: the bands four frames at a
    // time (equaliser_lanes.h).
    void processHeld(float* left, float* right, int frames);

    EqBandState bands_[kBands];
    EqBlockColumns columns_[kBands];  // from the bands' coefficients
    bool wide_ = cpuHasAvx2();
    bool skipFlat_ = true;
    bool leaveFlatOut_ = true;
    BoundedQueue<EqBandRecord, 128> queue_;
};
