// Writers of the rendered audio: RIFF WAVE, 32-bit float or 16-bit PCM.
// Linux builds write through libsndfile; the Windows builds, for which no
// libsndfile is at hand, use the small built-in writer, which Linux builds
// also compile so that the tests can hold the two against each other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

enum class SampleFormat { Float32, Pcm16 };

class AudioFileWriter {
public:
    virtual ~AudioFileWriter() = default;
    // channels[c][i] for i < frames; false once the file cannot be written.
    virtual bool write(const float* const* channels, int32_t frames) = 0;
    // Completes the header; false (with a message) if anything failed.
    virtual bool close(std::string& error) = 0;
};

// The writer of this build (libsndfile where available).
std::unique_ptr<AudioFileWriter> openWavFile(const std::string& path, int channels, int sampleRate,
                                             SampleFormat format, std::string& error);
std::unique_ptr<AudioFileWriter> openBuiltinWavFile(const std::string& path, int channels, int sampleRate,
                                                    SampleFormat format, std::string& error);

// Float to 16-bit: clipped to [-1, 1], scaled by 32767, rounded to nearest.
int16_t floatToPcm16(float value);
