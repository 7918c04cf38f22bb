// Helpers of the renderer's tests: temporary files, a Standard MIDI File
// writer, a WAV reader (libsndfile) and an in-process talvex-render run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render_test {

std::string tempPath(const std::string& name);
void writeText(const std::string& path, const std::string& text);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readBytes(const std::string& path);

struct Wav {
    int channels = 0;
    int sampleRate = 0;
    int64_t frames = 0;
    int format = 0;                          // libsndfile's SF_FORMAT_* of the file
    std::vector<std::vector<float>> samples;  // [channel][frame]
};
// Empty (channels 0) when libsndfile cannot open the file.
Wav readWav(const std::string& path);

struct RunResult {
    int exitCode = -1;
    std::string log;  // what the renderer wrote to its message stream
    std::string out;  // what it wrote to its output stream
};
// Parses the arguments as the command line would and renders in this
// process (the plug-in is loaded through the ABI all the same).
RunResult runRenderer(const std::vector<std::string>& arguments);

// Frames of a channel that are not zero.
std::vector<int64_t> nonZeroFrames(const std::vector<float>& channel);

// Builds the bytes of a Standard MIDI File: the header, then tracks whose
// events the caller writes with explicit delta times.
class MidiFileBuilder {
public:
    MidiFileBuilder(int format, uint16_t division) : format_(format), division_(division) {}
    void beginTrack() { tracks_.emplace_back(); }
    void delta(uint32_t ticks);
    void bytes(std::initializer_list<uint8_t> data);
    void tempo(uint32_t delta, uint32_t microsPerQuarter);
    void endOfTrack(uint32_t delta);
    std::vector<uint8_t> build() const;

private:
    int format_;
    uint16_t division_;
    std::vector<std::vector<uint8_t>> tracks_;
};

}  // namespace render_test
