// Eight frames at a time for the chorus and flanger engine, in AVX2 lanes:
// the same per-frame arithmetic in the same order as its four-lane passes,
// so the output is theirs to the bit. Called only where cpuHasAvx2() holds
// (never on 32-bit builds, which compile these to nothing).
#pragma once

namespace fxdsp {

// Reads are limited to +-10 so that a flanger at full feedback stays
// bounded: the ring then holds at most the input plus 10.
inline constexpr float kSweptReadLimit = 10.0f;

// Read distances for the frames of one stretch, eight at a time: k =
// 2^(depth sweep), the left distance delay k and the right one delay / k,
// both clamped into shortest .. longest. Stops before the first eight whose
// exponents leave the range the lanes cover; returns the frames done (a
// multiple of 8).
int sweptDistancesWide(const float* sweeps, float* distL, float* distR, int count, float depth, float delay,
                       float shortest, float longest);

struct SweptMixGains {
    float feedback, dry, wet, level;
};

// Reads, ring writes and mixes of whole groups of eight frames whose reads
// all lie behind the group's writes, starting with ring write index
// `write`; stops before the first group that does not qualify. Returns the
// frames done; `write` moves on by as many.
template <int kBits>
int sweptRenderWide(float* ringL, float* ringR, int& write, const float* distL, const float* distR, const float* inL,
                    const float* inR, float* outL, float* outR, int count, const SweptMixGains& gains);

}  // namespace fxdsp
