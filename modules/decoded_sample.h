// A sample file converted to what the sampler and the drum machine play:
// 16-bit signed values, interleaved left/right when stereo, with the file's
// own sample rate and the loop it names. Produced by the WAV and AIFF readers
// and shared, immutable, through the sample library (sample_store.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct DecodedSample {
    std::vector<int16_t> samples;  // frameCount values, or 2 × frameCount when stereo
    uint32_t frameCount = 0;
    bool stereo = false;
    float sampleRateHz = 44100.0f;

    // The first loop of a WAV "smpl" chunk as a half-open frame range: the
    // playback position jumps back to loopStartFrame when it reaches
    // loopEndFrame. (The chunk itself stores the last frame of the loop.)
    bool hasFileLoop = false;
    uint32_t loopStartFrame = 0;
    uint32_t loopEndFrame = 0;

    bool empty() const { return frameCount == 0; }
    int channelCount() const { return stereo ? 2 : 1; }

    // The loop as fractions of the frame count, the form the sampler keeps.
    float loopStartFraction() const {
        return frameCount == 0 ? 0.0f : static_cast<float>(loopStartFrame) / static_cast<float>(frameCount);
    }
    float loopEndFraction() const {
        return frameCount == 0 ? 0.0f : static_cast<float>(loopEndFrame) / static_cast<float>(frameCount);
    }

    void clear() { *this = DecodedSample(); }
};

enum class SampleChannels {
    AsStored,  // mono stays mono, stereo stays interleaved stereo (the sampler)
    MonoMix,   // stereo is mixed down to one channel (the drum machine)
};

struct SampleReadOptions {
    SampleChannels channels = SampleChannels::AsStored;
    // The drum machine also insists on the "WAVE" form type at offset 8; the
    // sampler accepts any 12-byte header in front of the chunks.
    bool requireWaveTag = false;
};
