#include "modules/drums_voice.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "common/cpu_features.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace drums {

namespace {

constexpr float kSampleScale = 1.0f / 32768.0f;
// Frames a voice renders into its sample buffer before they are mixed.
constexpr int kPieceFrames = 256;
// The longest stretch read in one go.
constexpr int kStretchFrames = 64;
// Positions below this read four frames at a time (32-bit indices).
constexpr double kLaneIndexLimit = 2147483600.0;
// Asked once, before any block runs.
const bool kWideLanes = cpuHasAvx2();

bool ringing(const float* last) {
    return (last[0] > 0.0f && last[1] > 0.0f) || (last[0] < 0.0f && last[1] < 0.0f);
}

// What the frames of one voice read from.
struct Reader {
    const int16_t* data;
    int64_t frameCount;
    double begin;
    double end;
    double outputEnd;  // reads stop three frames before the window's end
};

float readAt(const Reader& r, double p) {
    if (p >= r.begin && p < r.outputEnd && p >= 0.0) {
        const auto i = static_cast<int64_t>(p);
        if (i + 1 < r.frameCount) {
            const float frac = static_cast<float>(p - static_cast<double>(i));
            const float a = r.data[i];
            const float b = r.data[i + 1];
            return (a + (b - a) * frac) * kSampleScale;
        }
    }
    return 0.0f;
}

// One frame with every decision: a waiting hit, the end of the sound, the
// window's ends and loops. False when the voice has stopped before the frame.
bool stepFrame(Voice& v, const PadSettings& pad, const Reader& r, int zeroWaitFrames, float& out) {
    // A waiting hit starts where the old sound crosses zero.
    if (v.pendingStart >= 0.0) {
        if (!ringing(v.last) || v.waitFrames >= zeroWaitFrames) {
            v.position = v.pendingStart;
            v.pendingStart = -1.0;
            v.playing = true;
            v.waitFrames = 0;
            v.ringFrames = 0;
        } else {
            ++v.waitFrames;
        }
    }
    if (!v.playing) return false;

    // Still sounding: key held, a decaying one-shot inside its window, a
    // hit waiting, or the release running on to the next zero crossing.
    const bool inWindow = v.position >= r.begin && v.position < r.end;
    if (v.gate || (pad.decay && inWindow) || v.pendingStart >= 0.0) {
        v.ringFrames = 0;
    } else if (ringing(v.last) && v.ringFrames < zeroWaitFrames) {
        ++v.ringFrames;
    } else {
        stopVoice(v);
        return false;
    }

    const float s = readAt(r, v.position);
    if (pad.reverse) {
        if (v.position > r.begin) {
            v.position -= v.increment;
        } else if (pad.loop && v.gate) {
            v.position = r.end - 1.0;
        } else {
            // Parked below the window: the voice ends instead of holding
            // the first frame as a constant.
            v.position = r.begin - 1.0;
        }
    } else {
        if (v.position < r.end) {
            v.position += v.increment;
        } else if (pad.loop && v.gate) {
            v.position = r.begin;
        }
    }
    v.last[1] = v.last[0];
    v.last[0] = s;
    out = s;
    return true;
}

// Positions from p on, `frames` + 1 of them, each one increment (forward)
// or one decrement after the one before.
template <bool kReverse>
void stepPositions(double p, double increment, double* positions, int frames) {
    positions[0] = p;
    int f = 0;
    for (; f + 4 <= frames; f += 4) {
        const double p1 = kReverse ? p - increment : p + increment;
        const double p2 = kReverse ? p1 - increment : p1 + increment;
        const double p3 = kReverse ? p2 - increment : p2 + increment;
        p = kReverse ? p3 - increment : p3 + increment;
        positions[f + 1] = p1;
        positions[f + 2] = p2;
        positions[f + 3] = p3;
        positions[f + 4] = p;
    }
    for (; f < frames; ++f) {
        p = kReverse ? p - increment : p + increment;
        positions[f + 1] = p;
    }
}

#if defined(__x86_64__)
// The four-frame reads below in AVX2: the four positions in one register,
// both neighbours of each frame gathered with one 32-bit load; every lane
// does the same operations as there.
__attribute__((target("avx2"))) int readFramesWide(const int16_t* data, const double* positions, float* s, int n) {
    const __m128 scale = _mm_set1_ps(kSampleScale);
    const int* pairsAt = reinterpret_cast<const int*>(data);
    int f = 0;
    for (; f + 4 <= n; f += 4) {
        const __m256d q = _mm256_loadu_pd(positions + f);
        const __m128i index = _mm256_cvttpd_epi32(q);
        const __m128 frac = _mm256_cvtpd_ps(_mm256_sub_pd(q, _mm256_cvtepi32_pd(index)));
        const __m128i pairs = _mm_i32gather_epi32(pairsAt, index, 2);
        const __m128 a = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
        const __m128 b = _mm_cvtepi32_ps(_mm_srai_epi32(pairs, 16));
        _mm_storeu_ps(s + f, _mm_mul_ps(_mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), frac)), scale));
    }
    return f;
}
#endif

// Reads at n positions, all inside the sample with a frame after them.
// lanes: the indices fit 32 bits; wide: AVX2 may be used.
void readFrames(const int16_t* data, const double* positions, float* s, int n, bool lanes, bool wide) {
    int f = 0;
#if defined(__x86_64__)
    if (lanes && wide) f = readFramesWide(data, positions, s, n);
#else
    (void)wide;
#endif
    if (lanes) {
        // Four frames at a time: the same truncation, fractions and
        // single-precision steps as the frame loop below. Indices fit
        // 32 bits; both neighbours come with one 32-bit load.
        const __m128 scale = _mm_set1_ps(kSampleScale);
        for (; f + 4 <= n; f += 4) {
            const __m128d q01 = _mm_loadu_pd(positions + f);
            const __m128d q23 = _mm_loadu_pd(positions + f + 2);
            const __m128i i01 = _mm_cvttpd_epi32(q01);
            const __m128i i23 = _mm_cvttpd_epi32(q23);
            const __m128 frac = _mm_movelh_ps(_mm_cvtpd_ps(_mm_sub_pd(q01, _mm_cvtepi32_pd(i01))),
                                              _mm_cvtpd_ps(_mm_sub_pd(q23, _mm_cvtepi32_pd(i23))));
            alignas(16) int32_t index[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_unpacklo_epi64(i01, i23));
            int32_t pair[4];
            for (int j = 0; j < 4; ++j) std::memcpy(&pair[j], data + index[j], sizeof(int32_t));
            const __m128i pairs = _mm_setr_epi32(pair[0], pair[1], pair[2], pair[3]);
            const __m128 a = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16));
            const __m128 b = _mm_cvtepi32_ps(_mm_srai_epi32(pairs, 16));
            _mm_storeu_ps(s + f, _mm_mul_ps(_mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), frac)), scale));
        }
    }
    for (; f < n; ++f) {
        const double q = positions[f];
        const auto i = static_cast<int64_t>(q);
        const float frac = static_cast<float>(q - static_cast<double>(i));
        const float a = data[i];
        const float b = data[i + 1];
        s[f] = (a + (b - a) * frac) * kSampleScale;
    }
}

// The frames ahead that read inside the window with nothing to decide: no
// hit waiting, the voice held or decaying, every read two whole frames of
// the sample, and (backwards) above the window's begin. Renders them into
// `s` and returns how many (0: the next frame needs stepFrame()).
int readStretch(Voice& v, const PadSettings& pad, const Reader& r, float* s, int maxFrames, bool wide) {
    if (v.pendingStart >= 0.0 || !v.playing || !(v.gate || pad.decay)) return 0;
    // Reads need i + 1 < frameCount, that is p < frameCount - 1.
    const double high = std::min(r.outputEnd, static_cast<double>(r.frameCount) - 1.0);
    const double p = v.position;
    // The positions move one way only, so when the last one still reads,
    // every one does.
    alignas(16) double positions[kStretchFrames + 1];
    int n = maxFrames;
    if (!pad.reverse) {
        if (!(p >= r.begin && p >= 0.0 && p < high)) return 0;
        stepPositions<false>(p, v.increment, positions, maxFrames);
        if (!(positions[maxFrames - 1] < high))
            for (n = 1; positions[n] < high; ++n) {
            }
    } else {
        if (!(p < high && p > r.begin && p >= 0.0)) return 0;
        stepPositions<true>(p, v.increment, positions, maxFrames);
        const double last = positions[maxFrames - 1];
        if (!(last > r.begin && last >= 0.0))
            for (n = 1; positions[n] > r.begin && positions[n] >= 0.0; ++n) {
            }
    }
    v.position = positions[n];
    readFrames(r.data, positions, s, n, high <= kLaneIndexLimit, wide);
    v.ringFrames = 0;
    v.last[1] = n >= 2 ? s[n - 2] : v.last[0];
    v.last[0] = s[n - 1];
    return n;
}

// Frames of one voice into `s`, up to kPieceFrames; fewer when it stops.
int renderSamples(Voice& v, const PadSettings& pad, const Reader& r, float* s, int frames, int zeroWaitFrames,
                  bool wide) {
    int f = 0;
    while (f < frames) {
        const int n = readStretch(v, pad, r, s + f, std::min(frames - f, kStretchFrames), wide);
        if (n > 0) {
            f += n;
            continue;
        }
        if (!stepFrame(v, pad, r, zeroWaitFrames, s[f])) break;
        ++f;
    }
    return f;
}

ControlInputs controlInputs(const Voice& v, const PadSettings& pad, float hostRateHz) {
    ControlInputs in;
    in.noteFactor = v.noteFactor;
    in.velocity = v.velocity;
    in.levelVelocity = pad.levelVelocity;
    in.pan = pad.pan;
    in.levelGain = pad.levelGain;
    in.send1Gain = pad.send1Gain;
    in.send2Gain = pad.send2Gain;
    in.tuneVelocity = pad.tuneVelocity;
    in.tuneFactor = pad.tuneFactor;
    in.hostRateHz = hostRateHz;
    in.sampleRateHz = pad.sample != nullptr ? pad.sample->sampleRateHz : 44100.0f;
    return in;
}

// controlUpdate(..., true) where its inputs are settled: only the gains move.
void smoothGains(Voice& v) {
    for (int k = 0; k < kOutputs; ++k) v.gain[k] = v.gain[k] + (v.target[k] - v.gain[k]) * kGainSmoothing;
}

// True when smoothGains() would leave every gain as it is, bit for bit.
bool smoothingHolds(const Voice& v) {
    float smoothed[kOutputs];
    for (int k = 0; k < kOutputs; ++k) smoothed[k] = v.gain[k] + (v.target[k] - v.gain[k]) * kGainSmoothing;
    return std::memcmp(smoothed, v.gain, sizeof(smoothed)) == 0;
}

}  // namespace

void controlUpdate(Voice& v, const PadSettings& pad, float hostRateHz, bool smooth) {
    const ControlInputs in = controlInputs(v, pad, hostRateHz);
    // Targets and increment follow from these alone: while they stand
    // still (nearly always) only the gains move.
    if (!v.controlInputsValid || std::memcmp(&in, &v.controlInputs, sizeof(in)) != 0) {
        v.controlInputs = in;
        v.controlInputsValid = true;
        const float velocity = static_cast<float>(v.velocity);
        const float e = velocity * pad.levelVelocity / 128.0f + 1.0f - pad.levelVelocity;
        const StereoGains g = balance(pad.pan);
        const float levels[3] = {pad.levelGain, pad.send1Gain, pad.send2Gain};
        for (int k = 0; k < 3; ++k) {
            v.target[2 * k] = e * levels[k] * g.left;
            v.target[2 * k + 1] = e * levels[k] * g.right;
        }
        const double rate = in.sampleRateHz;
        double increment = (velocity * pad.tuneVelocity / 128.0 + 1.0) * pad.tuneFactor * v.noteFactor * rate /
                           static_cast<double>(hostRateHz);
        // A file that claims an absurd rate must not stall or race the voice.
        if (!(increment > 0.0)) increment = 0.0;
        if (increment > 1024.0) increment = 1024.0;
        v.increment = increment;
    }
    for (int k = 0; k < kOutputs; ++k)
        v.gain[k] = smooth ? v.gain[k] + (v.target[k] - v.gain[k]) * kGainSmoothing : v.target[k];
}

void stopVoice(Voice& v) {
    v.playing = false;
    v.position = -1.0;
    v.pendingStart = -1.0;
    v.last[0] = v.last[1] = 0.0f;
    v.waitFrames = 0;
    v.ringFrames = 0;
}

void startVoice(Voice& v, const PadSettings& pad) {
    v.windowBeginFrames = pad.windowBeginFrames;
    v.windowEndFrames = pad.windowEndFrames;
    v.pendingStart = pad.reverse ? pad.windowEndFrames - 1.0 : pad.windowBeginFrames;
    if (v.pendingStart < 0.0) v.pendingStart = 0.0;
    v.waitFrames = 0;
    v.ringFrames = 0;
}

void applyWindow(Voice& v, const PadSettings& pad) {
    v.windowBeginFrames = pad.windowBeginFrames;
    v.windowEndFrames = pad.windowEndFrames;
    if (v.playing && (v.position < v.windowBeginFrames || v.position >= v.windowEndFrames)) stopVoice(v);
}

namespace {

#if defined(__x86_64__)
// The four-frame groups of mixVoices() below, eight frames at a time in
// AVX2 with the same operations in each lane; returns the frames done.
__attribute__((target("avx2"))) int mixVoicesWide(const float* const* samples, const float* const* gains,
                                                  const int* rendered, int count, bool whole, float* const* out,
                                                  int frames) {
    __m256 g[kVoices][kOutputs];
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < kOutputs; ++k) g[i][k] = _mm256_set1_ps(gains[i][k]);
    const int groups = frames & ~7;
    const __m256i frameIndex = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    for (int f = 0; f < groups; f += 8) {
        __m256 acc0 = _mm256_loadu_ps(out[0] + f), acc1 = _mm256_loadu_ps(out[1] + f);
        __m256 acc2 = _mm256_loadu_ps(out[2] + f), acc3 = _mm256_loadu_ps(out[3] + f);
        __m256 acc4 = _mm256_loadu_ps(out[4] + f), acc5 = _mm256_loadu_ps(out[5] + f);
        if (whole) {
            for (int i = 0; i < count; ++i) {
                const __m256 s = _mm256_loadu_ps(samples[i] + f);
                acc0 = _mm256_add_ps(acc0, _mm256_mul_ps(s, g[i][0]));
                acc1 = _mm256_add_ps(acc1, _mm256_mul_ps(s, g[i][1]));
                acc2 = _mm256_add_ps(acc2, _mm256_mul_ps(s, g[i][2]));
                acc3 = _mm256_add_ps(acc3, _mm256_mul_ps(s, g[i][3]));
                acc4 = _mm256_add_ps(acc4, _mm256_mul_ps(s, g[i][4]));
                acc5 = _mm256_add_ps(acc5, _mm256_mul_ps(s, g[i][5]));
            }
        } else {
            const __m256i at = _mm256_add_epi32(frameIndex, _mm256_set1_epi32(f));
            for (int i = 0; i < count; ++i) {
                if (rendered[i] <= f) continue;
                const __m256 s = _mm256_loadu_ps(samples[i] + f);
                const __m256 on = _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_set1_epi32(rendered[i]), at));
                const auto add = [&](__m256 acc, __m256 gain) __attribute__((target("avx2"))) {
                    return _mm256_blendv_ps(acc, _mm256_add_ps(acc, _mm256_mul_ps(s, gain)), on);
                };
                acc0 = add(acc0, g[i][0]);
                acc1 = add(acc1, g[i][1]);
                acc2 = add(acc2, g[i][2]);
                acc3 = add(acc3, g[i][3]);
                acc4 = add(acc4, g[i][4]);
                acc5 = add(acc5, g[i][5]);
            }
        }
        _mm256_storeu_ps(out[0] + f, acc0);
        _mm256_storeu_ps(out[1] + f, acc1);
        _mm256_storeu_ps(out[2] + f, acc2);
        _mm256_storeu_ps(out[3] + f, acc3);
        _mm256_storeu_ps(out[4] + f, acc4);
        _mm256_storeu_ps(out[5] + f, acc5);
    }
    return groups;
}
#endif

// Adds the voices' samples times their gains to the six outputs, voice
// after voice in the order given for each frame: out + s0 g0, then + s1 g1.
// Voice i adds only to its first rendered[i] frames. wide: AVX2 may be used.
void mixVoices(const float* const* samples, const float* const* gains, const int* rendered, int count,
               float* const* outputs, int offset, int frames, bool wide) {
    bool whole = true;
    for (int i = 0; i < count; ++i) whole = whole && rendered[i] == frames;
    float* out[kOutputs];
    for (int k = 0; k < kOutputs; ++k) out[k] = outputs[k] + offset;
    int start = 0;
#if defined(__x86_64__)
    if (wide) start = mixVoicesWide(samples, gains, rendered, count, whole, out, frames);
#else
    (void)wide;
#endif
    __m128 g[kVoices][kOutputs];
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < kOutputs; ++k) g[i][k] = _mm_set1_ps(gains[i][k]);
    const int groups = frames & ~3;
    const __m128i frameIndex = _mm_setr_epi32(0, 1, 2, 3);
    for (int f = start; f < groups; f += 4) {
        __m128 acc0 = _mm_loadu_ps(out[0] + f), acc1 = _mm_loadu_ps(out[1] + f);
        __m128 acc2 = _mm_loadu_ps(out[2] + f), acc3 = _mm_loadu_ps(out[3] + f);
        __m128 acc4 = _mm_loadu_ps(out[4] + f), acc5 = _mm_loadu_ps(out[5] + f);
        if (whole) {
            for (int i = 0; i < count; ++i) {
                const __m128 s = _mm_loadu_ps(samples[i] + f);
                acc0 = _mm_add_ps(acc0, _mm_mul_ps(s, g[i][0]));
                acc1 = _mm_add_ps(acc1, _mm_mul_ps(s, g[i][1]));
                acc2 = _mm_add_ps(acc2, _mm_mul_ps(s, g[i][2]));
                acc3 = _mm_add_ps(acc3, _mm_mul_ps(s, g[i][3]));
                acc4 = _mm_add_ps(acc4, _mm_mul_ps(s, g[i][4]));
                acc5 = _mm_add_ps(acc5, _mm_mul_ps(s, g[i][5]));
            }
        } else {
            const __m128i at = _mm_add_epi32(frameIndex, _mm_set1_epi32(f));
            for (int i = 0; i < count; ++i) {
                if (rendered[i] <= f) continue;
                const __m128 s = _mm_loadu_ps(samples[i] + f);
                const __m128 on = _mm_castsi128_ps(_mm_cmplt_epi32(at, _mm_set1_epi32(rendered[i])));
                const auto add = [&](__m128 acc, __m128 gain) {
                    const __m128 sum = _mm_add_ps(acc, _mm_mul_ps(s, gain));
                    return _mm_or_ps(_mm_and_ps(on, sum), _mm_andnot_ps(on, acc));
                };
                acc0 = add(acc0, g[i][0]);
                acc1 = add(acc1, g[i][1]);
                acc2 = add(acc2, g[i][2]);
                acc3 = add(acc3, g[i][3]);
                acc4 = add(acc4, g[i][4]);
                acc5 = add(acc5, g[i][5]);
            }
        }
        _mm_storeu_ps(out[0] + f, acc0);
        _mm_storeu_ps(out[1] + f, acc1);
        _mm_storeu_ps(out[2] + f, acc2);
        _mm_storeu_ps(out[3] + f, acc3);
        _mm_storeu_ps(out[4] + f, acc4);
        _mm_storeu_ps(out[5] + f, acc5);
    }
    for (int k = 0; k < kOutputs; ++k)
        for (int f = groups; f < frames; ++f) {
            float acc = out[k][f];
            for (int i = 0; i < count; ++i)
                if (f < rendered[i]) acc += samples[i][f] * gains[i][k];
            out[k][f] = acc;
        }
}

}  // namespace

bool controlInputsUnchanged(const Voice& v, const PadSettings& pad, float hostRateHz) {
    const ControlInputs in = controlInputs(v, pad, hostRateHz);
    return v.controlInputsValid && std::memcmp(&in, &v.controlInputs, sizeof(in)) == 0;
}

void renderVoiceSpan(Voice* const* voices, const PadSettings* const* pads, int count, float* const* outputs,
                     int frames, const int* ticks, int tickCount, int zeroWaitFrames, bool wideLanes) {
    const bool wide = wideLanes && kWideLanes;
    constexpr int kSounding = 1 << 30;
    alignas(16) float samples[kVoices][kPieceFrames];
    Reader readers[kVoices];
    Voice* live[kVoices];
    const PadSettings* livePads[kVoices];
    int stopFrame[kVoices];  // the frame at which the voice stopped, or kSounding
    int n = 0;
    for (int i = 0; i < count && n < kVoices; ++i) {
        Voice& v = *voices[i];
        const DecodedSample* sample = pads[i]->sample;
        readers[n] = {};
        if (sample != nullptr && sample->frameCount >= 2)
            readers[n] = {sample->samples.data(), sample->frameCount, v.windowBeginFrames, v.windowEndFrames,
                          v.windowEndFrames - 3.0};
        live[n] = &v;
        livePads[n] = pads[i];
        ++n;
    }
    int tick = 0;
    for (int offset = 0;; offset += kPieceFrames) {
        const int piece = std::min(kPieceFrames, frames - offset);
        const int end = offset + piece;
        for (int i = 0; i < n; ++i) {
            int rendered = piece;
            if (piece > 0) {
                if (readers[i].data == nullptr) {
                    if (live[i]->active()) stopVoice(*live[i]);
                    rendered = 0;
                } else {
                    rendered = renderSamples(*live[i], *livePads[i], readers[i], samples[i], piece, zeroWaitFrames,
                                             wide);
                }
            }
            stopFrame[i] = rendered < piece ? offset + rendered : kSounding;
        }
        // The piece in segments between control updates, each mixed with the
        // gains of its time. An update at frame t comes before frame t and
        // reaches the voices still sounding then. Gains the smoothing no
        // longer moves (a hit starts at its targets) make the updates no-ops:
        // then the piece mixes in one go.
        bool gainsHeld = true;
        for (int i = 0; i < n && gainsHeld; ++i) gainsHeld = smoothingHolds(*live[i]);
        for (int from = offset;;) {
            for (; tick < tickCount && ticks[tick] <= from; ++tick)
                if (!gainsHeld)
                    for (int i = 0; i < n; ++i)
                        if (stopFrame[i] >= ticks[tick]) smoothGains(*live[i]);
            if (from >= end) break;
            const int to = tick < tickCount && !gainsHeld ? std::min(end, ticks[tick]) : end;
            const float* heardSamples[kVoices];
            const float* gains[kVoices];
            int heardFrames[kVoices];
            int heard = 0;
            for (int i = 0; i < n; ++i) {
                const int r = std::min(stopFrame[i], to) - from;
                if (r <= 0 || livePads[i]->mute) continue;
                heardSamples[heard] = samples[i] + (from - offset);
                gains[heard] = live[i]->gain;
                heardFrames[heard] = r;
                ++heard;
            }
            if (heard > 0) mixVoices(heardSamples, gains, heardFrames, heard, outputs, from, to - from, wide);
            from = to;
        }
        if (end >= frames) break;
        // Voices that stopped inside the piece are done for the span.
        int next = 0;
        for (int i = 0; i < n; ++i)
            if (stopFrame[i] == kSounding) {
                live[next] = live[i];
                livePads[next] = livePads[i];
                readers[next] = readers[i];
                ++next;
            }
        n = next;
    }
}

void renderVoices(Voice* const* voices, const PadSettings* const* pads, int count, float* const* outputs, int frames,
                  int zeroWaitFrames, bool wideLanes) {
    renderVoiceSpan(voices, pads, count, outputs, frames, nullptr, 0, zeroWaitFrames, wideLanes);
}

void renderVoice(Voice& v, const PadSettings& pad, float* const* outputs, int frames, int zeroWaitFrames) {
    Voice* voices[1] = {&v};
    const PadSettings* pads[1] = {&pad};
    renderVoices(voices, pads, 1, outputs, frames, zeroWaitFrames);
}

}  // namespace drums
