#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/talvex_render/render_options.h"
#include "tools/talvex_render/renderer.h"

namespace render_test {

std::string tempPath(const std::string& name) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string prefix = info != nullptr ? std::string(info->test_suite_name()) + "_" + info->name() + "_" : "";
    return testing::TempDir() + "talvex_render_" + prefix + name;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Wav readWav(const std::string& path) {
    Wav wav;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return wav;
    wav.channels = info.channels;
    wav.sampleRate = info.samplerate;
    wav.frames = info.frames;
    wav.format = info.format;
    std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    wav.samples.assign(static_cast<size_t>(info.channels), std::vector<float>(static_cast<size_t>(info.frames)));
    for (int64_t i = 0; i < info.frames; ++i)
        for (int c = 0; c < info.channels; ++c)
            wav.samples[c][static_cast<size_t>(i)] = interleaved[static_cast<size_t>(i * info.channels + c)];
    return wav;
}

namespace {
std::string drain(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}
}  // namespace

RunResult runRenderer(const std::vector<std::string>& arguments) {
    RunResult result;
    RenderOptions options;
    bool help = false;
    std::string error;
    if (!parseRenderOptions(arguments, options, help, error)) {
        result.exitCode = kRenderBadCommandLine;
        result.log = error;
        return result;
    }
    std::FILE* out = std::tmpfile();
    std::FILE* log = std::tmpfile();
    result.exitCode = runRender(options, out, log);
    result.out = drain(out);
    result.log = drain(log);
    return result;
}

std::vector<int64_t> nonZeroFrames(const std::vector<float>& channel) {
    std::vector<int64_t> frames;
    for (size_t i = 0; i < channel.size(); ++i)
        if (channel[i] != 0.0f) frames.push_back(static_cast<int64_t>(i));
    return frames;
}

void MidiFileBuilder::delta(uint32_t ticks) {
    uint8_t groups[4];
    int count = 0;
    do {
        groups[count++] = static_cast<uint8_t>(ticks & 0x7f);
        ticks >>= 7;
    } while (ticks != 0 && count < 4);
    for (int i = count - 1; i >= 0; --i) tracks_.back().push_back(static_cast<uint8_t>(groups[i] | (i > 0 ? 0x80 : 0)));
}

void MidiFileBuilder::bytes(std::initializer_list<uint8_t> data) {
    tracks_.back().insert(tracks_.back().end(), data.begin(), data.end());
}

void MidiFileBuilder::tempo(uint32_t deltaTicks, uint32_t micros) {
    delta(deltaTicks);
    bytes({0xff, 0x51, 0x03, static_cast<uint8_t>(micros >> 16), static_cast<uint8_t>(micros >> 8),
           static_cast<uint8_t>(micros)});
}

void MidiFileBuilder::endOfTrack(uint32_t deltaTicks) {
    delta(deltaTicks);
    bytes({0xff, 0x2f, 0x00});
}

std::vector<uint8_t> MidiFileBuilder::build() const {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    auto put16 = [&](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    };
    put16(static_cast<uint32_t>(format_));
    put16(static_cast<uint32_t>(tracks_.size()));
    put16(division_);
    for (const auto& track : tracks_) {
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        uint32_t n = static_cast<uint32_t>(track.size());
        out.insert(out.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                               static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        out.insert(out.end(), track.begin(), track.end());
    }
    return out;
}

}  // namespace render_test
