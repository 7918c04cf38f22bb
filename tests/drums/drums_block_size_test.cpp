// The drum machine renders the same samples whatever the host's blocks:
// frame-sized blocks (every run and control update apart) against 16, 512
// and random sizes, with hits, releases, chokes and parameter moves, in
// drum and bass mode. The voices render queued spans in one go, so a fault
// in where a span's control updates fall or where it ends shows here. (The
// voices' arithmetic against a frame-by-frame copy is drums_voice_null_test.)
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "drums_test_host.h"

namespace {

using namespace drums_test;

struct Event {
    long frame;
    int status, d1, d2;
};

struct ParameterMove {
    long frame;  // a multiple of kMoveFrames: a block edge for every schedule
    int index;
    float value;
};

constexpr long kMoveFrames = 4096;
constexpr long kLengthFrames = 40 * kMoveFrames;

struct Score {
    std::vector<Event> events;
    std::vector<ParameterMove> moves;
};

Score randomScore(bool bass, unsigned seed) {
    std::mt19937 rng(seed);
    Score score;
    long frame = 0;
    while (true) {
        frame += std::uniform_int_distribution<long>(1, 6000)(rng);
        if (frame >= kLengthFrames) break;
        const int note = bass ? std::uniform_int_distribution<int>(24, 60)(rng)
                              : drums::kDefaultPadNotes[std::uniform_int_distribution<int>(0, drums::kPads - 1)(rng)];
        const int velocity = std::uniform_int_distribution<int>(1, 127)(rng);
        const bool on = std::bernoulli_distribution(0.6)(rng);
        score.events.push_back({frame, on ? 0x90 : 0x80, note, on ? velocity : 0});
        // Now and then two events in one frame.
        if (std::bernoulli_distribution(0.1)(rng)) score.events.push_back({frame, 0x80, note, 0});
    }
    const int params[] = {drums::kLevel, drums::kPan,   drums::kEffect1, drums::kTune,      drums::kLevelVelocity,
                          drums::kTuneVelocity, drums::kDecay, drums::kReverse, drums::kLoop, drums::kWaveBegin,
                          drums::kWaveEnd, drums::kMute};
    for (long f = kMoveFrames; f < kLengthFrames; f += kMoveFrames) {
        const int moves = std::uniform_int_distribution<int>(0, 3)(rng);
        for (int m = 0; m < moves; ++m) {
            const int pad = std::uniform_int_distribution<int>(0, drums::kPads - 1)(rng);
            const int param = params[std::uniform_int_distribution<int>(0, 11)(rng)];
            float value = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
            if (param == drums::kMute) value = std::bernoulli_distribution(0.2)(rng) ? 1.0f : 0.0f;
            if (param == drums::kWaveEnd) value = 0.5f + 0.5f * value;
            if (param == drums::kWaveBegin) value = 0.3f * value;
            score.moves.push_back({f, pad * drums::kParamsPerPad + param, value});
        }
    }
    return score;
}

// Renders the score in blocks of blockFrames (0: random sizes of 1 to 700).
std::vector<float> renderScore(const SampleLibrary& library, bool bass, const Score& score, int blockFrames) {
    DrumsHost host(library, bass);
    std::mt19937 rng(7);
    size_t nextEvent = 0;
    size_t nextMove = 0;
    for (long done = 0; done < kLengthFrames;) {
        for (; nextMove < score.moves.size() && score.moves[nextMove].frame <= done; ++nextMove)
            host.set(score.moves[nextMove].index, score.moves[nextMove].value);
        long n = blockFrames > 0 ? blockFrames : std::uniform_int_distribution<long>(1, 700)(rng);
        const long nextEdge = (done / kMoveFrames + 1) * kMoveFrames;
        n = std::min({n, nextEdge - done, kLengthFrames - done});
        // Events go at the start of a block: the module takes one waiting
        // event per frame and counts its delay from there, so events inside
        // a block would sound at times that depend on the blocks.
        std::vector<test_support::Midi> midi;
        for (; nextEvent < score.events.size() && score.events[nextEvent].frame <= done; ++nextEvent) {
            const Event& e = score.events[nextEvent];
            midi.push_back({0, e.status, e.d1, e.d2});
        }
        if (nextEvent < score.events.size()) n = std::min(n, score.events[nextEvent].frame - done);
        if (!midi.empty()) host.send(midi);
        host.render(static_cast<int>(n), static_cast<int>(n));
        done += n;
    }
    std::vector<float> all;
    for (const auto& channel : host.out) all.insert(all.end(), channel.begin(), channel.end());
    return all;
}

void expectSameBits(const std::vector<float>& want, const std::vector<float>& got, const char* what) {
    ASSERT_EQ(want.size(), got.size()) << what;
    size_t differing = 0;
    size_t first = want.size();
    for (size_t i = 0; i < want.size(); ++i)
        if (std::memcmp(&want[i], &got[i], sizeof(float)) != 0) {
            if (differing++ == 0) first = i;
        }
    EXPECT_EQ(differing, 0u) << what << ": first at output " << first / kLengthFrames << " frame "
                             << first % kLengthFrames;
}

void checkBlockSizes(bool bass) {
    TestStore store;
    const auto library = defaultKit(store);
    for (unsigned seed : {11u, 12u}) {
        const Score score = randomScore(bass, seed);
        const std::vector<float> frameByFrame = renderScore(*library, bass, score, 1);
        // The score sounds: a silent render would compare equal to anything.
        double energy = 0.0;
        for (float x : frameByFrame) energy += static_cast<double>(x) * x;
        ASSERT_GT(energy, 1000.0);
        expectSameBits(frameByFrame, renderScore(*library, bass, score, 16), "blocks of 16");
        expectSameBits(frameByFrame, renderScore(*library, bass, score, 512), "blocks of 512");
        expectSameBits(frameByFrame, renderScore(*library, bass, score, 0), "random blocks");
    }
}

TEST(DrumsBlockSizes, DrumModeRendersTheSameInEveryBlockSize) { checkBlockSizes(false); }

TEST(DrumsBlockSizes, BassModeRendersTheSameInEveryBlockSize) { checkBlockSizes(true); }

}  // namespace
