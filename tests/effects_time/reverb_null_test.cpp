// The room engine against a plain per-frame rendering of its algorithm: the
// engine runs the input gains, the combs and all-passes four frames at a
// time in SSE lanes (or both channels at once in eight AVX2 lanes, low cut
// and mix included), the pre-delay a run at a time, and clears only what its
// lines took since they last held silence; both passes must come out bit for
// bit the same, across the lines' ends, with gliding parameters, odd run
// lengths, the mono switch, processing in place, the longest pre-delays,
// samples that are not finite and a change of pass between blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "effects/dsp/balance_law.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"
#include "common/cpu_features.h"
#include "effects/reverb_engine.h"

namespace {

using namespace reverb_tuning;

class ReferenceRoom {
public:
    ReferenceRoom() : preL_(kPreSize, 0.0f), preR_(kPreSize, 0.0f), left_(0), right_(kStereoSpreadSamples) {}

    void smooth(const ReverbTargets& t, float factor) {
        fxdsp::glide(preDelay_, t.preDelaySamples, factor);
        feedback_ = t.roomFeedback;
        fxdsp::glide(damping_, t.damping, factor);
        fxdsp::glide(early_, t.earlyGain, factor);
        fxdsp::glide(lowCut_, t.lowCut, factor);
        const fxdsp::MixGains mix = fxdsp::mixGains(t.mix);
        fxdsp::glide(dry_, mix.dry, factor);
        fxdsp::glide(wet_, mix.wet, factor);
        fxdsp::glide(level_, t.level, factor);
    }
    // Every line and filter back to silence, all of each line.
    void clear() {
        std::fill(preL_.begin(), preL_.end(), 0.0f);
        std::fill(preR_.begin(), preR_.end(), 0.0f);
        write_ = 0;
        left_.clear();
        right_.clear();
        lowL_ = lowR_ = 0.0f;
    }
    void beginBlock() {
        k1_ = 0.5f + 0.5f * damping_;
        k2_ = 1.0f - k1_;
    }
    void render(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono) {
        int p = static_cast<int>(preDelay_);
        p = std::clamp(p, 0, kPreSize - 1);
        for (int n = 0; n < count; ++n) {
            float xL, xR;
            if (mono) {
                xL = xR = fxdsp::fedSample(0.5f * inL[n] + 0.5f * inR[n]) + fxdsp::kAntiDenormalOffset;
            } else {
                xL = fxdsp::fedSample(inL[n]) + fxdsp::kAntiDenormalOffset;
                xR = fxdsp::fedSample(inR[n]) + fxdsp::kAntiDenormalOffset;
            }
            preL_[static_cast<size_t>(write_)] = xL;
            preR_[static_cast<size_t>(write_)] = xR;
            const size_t read = static_cast<size_t>((write_ - p + kPreSize) % kPreSize);
            const float uL = preL_[read], uR = preR_[read];
            write_ = (write_ + 1) % kPreSize;
            lowL_ = lowCut_.input * uL + lowCut_.feedback * lowL_;
            lowR_ = lowCut_.input * uR + lowCut_.feedback * lowR_;
            float sumL, sumR, diffL, diffR;
            left_.frame(uL - lowL_, feedback_, k1_, k2_, sumL, diffL);
            right_.frame(uR - lowR_, feedback_, k1_, k2_, sumR, diffR);
            const float tL = kDiffusedGain * diffL - early_ * sumL;
            const float tR = kDiffusedGain * diffR - early_ * sumR;
            outL[n] = (xL * dry_ + tL * wet_) * level_;
            outR[n] = (xR * dry_ + tR * wet_) * level_;
        }
    }

private:
    static constexpr int kPreSize = 1 << kPreDelayBits;

    struct Lines {
        std::vector<float> comb[kCombCount], allpass[kAllpassCount];
        size_t combAt[kCombCount] = {}, allpassAt[kAllpassCount] = {};
        float damped[kCombCount] = {};

        void clear() {
            for (int c = 0; c < kCombCount; ++c) {
                std::fill(comb[c].begin(), comb[c].end(), 0.0f);
                combAt[c] = 0;
                damped[c] = 0.0f;
            }
            for (int a = 0; a < kAllpassCount; ++a) {
                std::fill(allpass[a].begin(), allpass[a].end(), 0.0f);
                allpassAt[a] = 0;
            }
        }
        explicit Lines(int extra) {
            for (int c = 0; c < kCombCount; ++c) comb[c].assign(static_cast<size_t>(kCombLengthsLeft[c] + extra), 0.0f);
            for (int a = 0; a < kAllpassCount; ++a)
                allpass[a].assign(static_cast<size_t>(kAllpassLengthsLeft[a] + extra), 0.0f);
        }
        void frame(float h, float feedback, float k1, float k2, float& sum, float& diffused) {
            sum = fxdsp::kAntiDenormalOffset;
            for (int c = 0; c < kCombCount; ++c) {
                const float y = comb[c][combAt[c]];
                damped[c] = y * k1 + damped[c] * k2;
                comb[c][combAt[c]] = h + damped[c] * feedback;
                combAt[c] = (combAt[c] + 1) % comb[c].size();
                sum += y;
            }
            float a = sum;
            for (int p = 0; p < kAllpassCount; ++p) {
                const float v = allpass[p][allpassAt[p]];
                allpass[p][allpassAt[p]] = a + kAllpassFeedback * v;
                allpassAt[p] = (allpassAt[p] + 1) % allpass[p].size();
                a = v - a;
            }
            diffused = a;
        }
    };

    std::vector<float> preL_, preR_;
    int write_ = 0;
    Lines left_, right_;
    float lowL_ = 0.0f, lowR_ = 0.0f;
    float preDelay_ = 0.0f, feedback_ = 0.0f, damping_ = 0.0f, early_ = 0.0f;
    fxdsp::OnePoleCoefficients lowCut_;
    float dry_ = 0.0f, wet_ = 0.0f, level_ = 0.0f;
    float k1_ = 0.5f, k2_ = 0.5f;
};

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

ReverbTargets randomTargets(std::mt19937& rng, double longestPreDelay, double fixedPreDelay = -1.0) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    ReverbTargets t;
    t.preDelaySamples = longestPreDelay * unit(rng);
    t.roomFeedback = kRoomFeedbackAtZero + kRoomFeedbackRange * unit(rng);
    t.damping = unit(rng);
    t.earlyGain = kEarlyGainRange * unit(rng);
    t.lowCut = fxdsp::onePoleLowpass(20.0 + 2000.0 * unit(rng), 44100.0);
    t.mix = unit(rng);
    t.level = 0.25 + 1.5 * unit(rng);
    if (fixedPreDelay >= 0.0) t.preDelaySamples = fixedPreDelay;
    return t;
}

struct Scenario {
    unsigned seed;
    double longestPreDelay;
    bool inPlace;
    int longestRun;  // 0: runs of 16 frames, else 1 .. longestRun
    bool badSamples;
    double fixedPreDelay = -1.0;  // from 0 on: the pre-delay stays there
    int clearEvery = 0;           // from 1 on: both are cleared every so many blocks
    int flipWidthEvery = 0;       // from 1 on: the engine changes lanes every so many blocks
    bool immediate = false;       // render() each run rather than queue() them and flush() the block
    bool changesWithinBlocks = false;  // new targets (a new comb feedback among them) between runs
};

// Blocks of varied length cut into runs (a glide step before each; runs of
// 16 frames as the module makes them, or of random lengths up to longestRun), with new targets now and then and the mono switch
// flipping; both engines get the same calls. Returns how many samples were
// compared.
long compareScenario(const Scenario& s, bool wide) {
    std::mt19937 rng(s.seed);
    ReverbEngine engine;
    engine.allowWideLanes(wide);
    ReferenceRoom reference;
    ReverbTargets targets = randomTargets(rng, s.longestPreDelay, s.fixedPreDelay);
    engine.smooth(targets, 1.0f);
    reference.smooth(targets, 1.0f);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    std::uniform_int_distribution<int> blockLength(1, 700), runLength(1, std::max(1, s.longestRun)), chance(0, 99);
    bool mono = false;
    long compared = 0;
    std::vector<float> inL, inR, outL, outR, refL, refR;
    for (int block = 0; block < 160; ++block) {
        const int frames = blockLength(rng);
        inL.resize(static_cast<size_t>(frames));
        inR.resize(static_cast<size_t>(frames));
        for (int i = 0; i < frames; ++i) {
            // Bursts and silences, so that the tail rings on its own too.
            const bool quiet = (block / 8) % 3 == 2;
            inL[static_cast<size_t>(i)] = quiet ? 0.0f : noise(rng);
            inR[static_cast<size_t>(i)] = quiet ? 0.0f : noise(rng);
        }
        if (s.badSamples && chance(rng) < 10) {
            const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(), 3.0e7f, -2.0e9f};
            inL[static_cast<size_t>(frames / 2)] = bad[chance(rng) % 5];
            inR[static_cast<size_t>(frames / 3)] = bad[chance(rng) % 5];
        }
        if (chance(rng) < 20) targets = randomTargets(rng, s.longestPreDelay, s.fixedPreDelay);
        if (chance(rng) < 5) mono = !mono;
        refL = inL;
        refR = inR;
        if (s.inPlace) {
            outL = inL;
            outR = inR;
        } else {
            outL.assign(static_cast<size_t>(frames), 0.0f);
            outR.assign(static_cast<size_t>(frames), 0.0f);
        }
        if (s.clearEvery > 0 && block % s.clearEvery == s.clearEvery - 1) {
            engine.clearSignal();
            reference.clear();
        }
        if (s.flipWidthEvery > 0 && block % s.flipWidthEvery == s.flipWidthEvery - 1) {
            engine.allowWideLanes(!engine.wideLanes());
        }
        engine.beginBlock();
        reference.beginBlock();
        for (int at = 0; at < frames;) {
            const int count = std::min(frames - at, s.longestRun > 0 ? runLength(rng) : 16);
            if (s.changesWithinBlocks && chance(rng) < 10) targets = randomTargets(rng, s.longestPreDelay, s.fixedPreDelay);
            engine.smooth(targets, 0.01f);
            reference.smooth(targets, 0.01f);
            const float* srcL = s.inPlace ? outL.data() + at : inL.data() + at;
            const float* srcR = s.inPlace ? outR.data() + at : inR.data() + at;
            if (s.immediate) {
                engine.render(srcL, srcR, outL.data() + at, outR.data() + at, count, mono);
            } else {
                engine.queue(srcL, srcR, outL.data() + at, outR.data() + at, count, mono);
            }
            reference.render(refL.data() + at, refR.data() + at, refL.data() + at, refR.data() + at, count, mono);
            at += count;
        }
        engine.flush();
        for (int i = 0; i < frames; ++i) {
            const size_t k = static_cast<size_t>(i);
            if (bits(outL[k]) != bits(refL[k]) || bits(outR[k]) != bits(refR[k])) {
                ADD_FAILURE() << (engine.wideLanes() ? "wide " : "") << "seed " << s.seed << " block " << block << " frame " << i << ": " << outL[k] << " "
                              << outR[k] << " against " << refL[k] << " " << refR[k];
                return compared;
            }
            compared += 2;
        }
    }
    return compared;
}

// Both the four-lane pass and the wide one (both channels in eight lanes)
// against the reference; the wide one only where the processor has it.
class ReverbNull : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam() && !cpuHasAvx2()) GTEST_SKIP() << "no AVX2 here";
    }
};

TEST_P(ReverbNull, LanesMatchTheFrameLoopBitForBit) {
    long compared = 0;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        compared += compareScenario({seed, 6615.0, false, 0, false}, GetParam());
        compared += compareScenario({seed + 100, 6615.0, true, 15, false}, GetParam());
        compared += compareScenario({seed + 200, 1000.0, false, 300, false}, GetParam());
    }
    // Enough frames to pass every line's end many times.
    EXPECT_GT(compared, 500000);
}

TEST_P(ReverbNull, ShortAndLongestPreDelays) {
    // Pre-delays of a few samples read what the same run has just written;
    // the longest read slots the run is about to overwrite.
    compareScenario({7, 3.0, false, 13, false}, GetParam());
    compareScenario({8, 0.0, true, 200, false}, GetParam());
    compareScenario({9, 32767.0, false, 7, false}, GetParam());
    compareScenario({10, 40000.0, true, 0, false}, GetParam());
}

TEST_P(ReverbNull, PreDelaysAroundTheLongestAPieceCanTake) {
    // Up to the line's length less the run, a run's writes can all go
    // before its reads; one slot further, the last frames read slots the
    // run's first frames are about to overwrite.
    constexpr int kLine = 1 << kPreDelayBits;
    for (int back : {64, 63, 16, 15, 1}) {
        compareScenario({20u + static_cast<unsigned>(back), 40000.0, false, 64, false, kLine - back + 0.0}, GetParam());
        compareScenario({40u + static_cast<unsigned>(back), 40000.0, true, 0, false, kLine - back + 0.5}, GetParam());
    }
}

TEST_P(ReverbNull, ClearedWhileRunningAsIfClearedWhole) {
    // The engine clears only the slots written since its lines last held
    // silence; the reference clears every line whole.
    compareScenario({51, 6615.0, false, 0, false, -1.0, 3}, GetParam());
    compareScenario({52, 32767.0, true, 40, false, -1.0, 7}, GetParam());
    compareScenario({53, 1000.0, false, 300, false, -1.0, 50}, GetParam());
    compareScenario({54, 0.0, false, 16, false, 32767.0, 11}, GetParam());
}

TEST_P(ReverbNull, SamplesThatAreNotFinite) {
    compareScenario({11, 2000.0, false, 16, true}, GetParam());
    compareScenario({12, 500.0, true, 100, true}, GetParam());
}

TEST_P(ReverbNull, ChangingLanesMidStreamKeepsTheState) {
    // Every line index, damping state and low cut state crosses over from
    // one pass to the other.
    compareScenario({61, 6615.0, false, 600, false, -1.0, 0, 1}, GetParam());
    compareScenario({62, 1000.0, true, 37, false, -1.0, 5, 2}, GetParam());
    compareScenario({63, 40.0, false, 0, true, -1.0, 0, 3}, GetParam());
}

TEST_P(ReverbNull, RunsRenderedAtOnceOrQueuedForTheBlock) {
    // Queued runs wait for the block's end (or a full queue, or a new comb
    // feedback) and must come out as if each had been rendered at once.
    compareScenario({71, 6615.0, false, 16, false, -1.0, 0, 0, true}, GetParam());
    compareScenario({72, 1000.0, true, 600, false, -1.0, 0, 0, true}, GetParam());
    compareScenario({73, 6615.0, false, 5, false, -1.0, 0, 0, false, true}, GetParam());
    compareScenario({74, 300.0, true, 1, false, -1.0, 9, 0, false, true}, GetParam());
    compareScenario({75, 6615.0, false, 600, false, -1.0, 0, 0, true, true}, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Lanes, ReverbNull, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Four"; });

TEST(ReverbTail, TheTailStillRings) {
    // Guard against comparing two silent engines: an impulse must leave a
    // tail that is still audible half a second later.
    ReverbEngine engine;
    ReverbTargets t;
    t.roomFeedback = kRoomFeedbackAtZero + kRoomFeedbackRange * 0.8f;
    t.mix = 1.0f;
    engine.smooth(t, 1.0f);
    engine.beginBlock();
    std::vector<float> l(22050, 0.0f), r(22050, 0.0f);
    l[0] = r[0] = 1.0f;
    engine.render(l.data(), r.data(), l.data(), r.data(), 22050, false);
    float late = 0.0f;
    for (int i = 20000; i < 22050; ++i) late = std::max(late, std::fabs(l[static_cast<size_t>(i)]));
    EXPECT_GT(late, 1e-4f);
}

}  // namespace
