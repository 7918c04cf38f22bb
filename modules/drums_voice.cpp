#include "modules/drums_voice.h"

namespace drums {

namespace {

constexpr float kSampleScale = 1.0f / 32768.0f;

bool ringing(const float* last) {
    return (last[0] > 0.0f && last[1] > 0.0f) || (last[0] < 0.0f && last[1] < 0.0f);
}

}  // namespace

void controlUpdate(Voice& v, const PadSettings& pad, float hostRateHz, bool smooth) {
    const float velocity = static_cast<float>(v.velocity);
    const float e = velocity * pad.levelVelocity / 128.0f + 1.0f - pad.levelVelocity;
    const StereoGains g = balance(pad.pan);
    const float levels[3] = {pad.levelGain, pad.send1Gain, pad.send2Gain};
    for (int k = 0; k < 3; ++k) {
        v.target[2 * k] = e * levels[k] * g.left;
        v.target[2 * k + 1] = e * levels[k] * g.right;
    }
    for (int k = 0; k < kOutputs; ++k)
        v.gain[k] = smooth ? v.gain[k] + (v.target[k] - v.gain[k]) * kGainSmoothing : v.target[k];

    const double rate = pad.sample != nullptr ? pad.sample->sampleRateHz : 44100.0;
    double increment = (velocity * pad.tuneVelocity / 128.0 + 1.0) * pad.tuneFactor * v.noteFactor * rate /
                       static_cast<double>(hostRateHz);
    // A file that claims an absurd rate must not stall or race the voice.
    if (!(increment > 0.0)) increment = 0.0;
    if (increment > 1024.0) increment = 1024.0;
    v.increment = increment;
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

void renderVoice(Voice& v, const PadSettings& pad, float* const* outputs, int frames, int zeroWaitFrames) {
    const DecodedSample* sample = pad.sample;
    if (sample == nullptr || sample->frameCount < 2) {
        if (v.active()) stopVoice(v);
        return;
    }
    const int16_t* data = sample->samples.data();
    const int64_t frameCount = sample->frameCount;
    const double begin = v.windowBeginFrames;
    const double end = v.windowEndFrames;
    const double outputEnd = end - 3.0;

    for (int f = 0; f < frames; ++f) {
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
        if (!v.playing) return;

        // Still sounding: key held, a decaying one-shot inside its window, a
        // hit waiting, or the release running on to the next zero crossing.
        const bool inWindow = v.position >= begin && v.position < end;
        if (v.gate || (pad.decay && inWindow) || v.pendingStart >= 0.0) {
            v.ringFrames = 0;
        } else if (ringing(v.last) && v.ringFrames < zeroWaitFrames) {
            ++v.ringFrames;
        } else {
            stopVoice(v);
            return;
        }

        float s = 0.0f;
        const double p = v.position;
        if (p >= begin && p < outputEnd && p >= 0.0) {
            const auto i = static_cast<int64_t>(p);
            if (i + 1 < frameCount) {
                const float frac = static_cast<float>(p - static_cast<double>(i));
                const float a = data[i];
                const float b = data[i + 1];
                s = (a + (b - a) * frac) * kSampleScale;
            }
        }

        if (pad.reverse) {
            if (v.position > begin) {
                v.position -= v.increment;
            } else if (pad.loop && v.gate) {
                v.position = end - 1.0;
            } else {
                // Parked below the window: the voice ends instead of holding
                // the first frame as a constant.
                v.position = begin - 1.0;
            }
        } else {
            if (v.position < end) {
                v.position += v.increment;
            } else if (pad.loop && v.gate) {
                v.position = begin;
            }
        }

        v.last[1] = v.last[0];
        v.last[0] = s;
        if (!pad.mute)
            for (int k = 0; k < kOutputs; ++k) outputs[k][f] += s * v.gain[k];
    }
}

}  // namespace drums
