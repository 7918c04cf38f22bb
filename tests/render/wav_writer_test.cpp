#include "tools/talvex_render/wav_writer.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>

#include "tests/render/render_test_support.h"

using render_test::readBytes;
using render_test::readWav;
using render_test::tempPath;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
std::string tag(const std::vector<uint8_t>& b, size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

// Writes channels of a test signal in blocks of uneven length.
void writeSignal(AudioFileWriter& writer, int channels, int frames) {
    std::vector<std::vector<float>> data(channels, std::vector<float>(frames));
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < frames; ++i) data[c][i] = std::sin(0.01f * i * (c + 1)) * (c == 0 ? 1.5f : 0.5f);
    for (int start = 0; start < frames; start += 37) {
        int n = std::min(37, frames - start);
        std::vector<const float*> pointers;
        for (int c = 0; c < channels; ++c) pointers.push_back(data[c].data() + start);
        ASSERT_TRUE(writer.write(pointers.data(), n));
    }
}

TEST(WavWriter, BuiltinFloatHeaderIsByteExact) {
    std::string path = tempPath("float.wav");
    std::string error;
    auto writer = openBuiltinWavFile(path, 2, 44100, SampleFormat::Float32, error);
    ASSERT_TRUE(writer) << error;
    writeSignal(*writer, 2, 100);
    ASSERT_TRUE(writer->close(error)) << error;
    std::vector<uint8_t> b = readBytes(path);
    ASSERT_EQ(b.size(), 58u + 800u);
    EXPECT_EQ(tag(b, 0), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(tag(b, 8), "WAVE");
    EXPECT_EQ(tag(b, 12), "fmt ");
    EXPECT_EQ(le32(b, 16), 18u);
    EXPECT_EQ(le16(b, 20), 3);  // IEEE float
    EXPECT_EQ(le16(b, 22), 2);
    EXPECT_EQ(le32(b, 24), 44100u);
    EXPECT_EQ(le32(b, 28), 44100u * 8);
    EXPECT_EQ(le16(b, 32), 8);
    EXPECT_EQ(le16(b, 34), 32);
    EXPECT_EQ(le16(b, 36), 0);
    EXPECT_EQ(tag(b, 38), "fact");
    EXPECT_EQ(le32(b, 46), 100u);
    EXPECT_EQ(tag(b, 50), "data");
    EXPECT_EQ(le32(b, 54), 800u);
    float first;
    std::memcpy(&first, b.data() + 58 + 8, 4);  // frame 1, left
    EXPECT_EQ(first, std::sin(0.01f) * 1.5f);
}

TEST(WavWriter, BuiltinFilesReadBackThroughLibsndfile) {
    for (SampleFormat format : {SampleFormat::Float32, SampleFormat::Pcm16}) {
        for (int channels : {1, 2, 4}) {
            std::string path = tempPath("readback.wav");
            std::string error;
            auto writer = openBuiltinWavFile(path, channels, 48000, format, error);
            ASSERT_TRUE(writer) << error;
            writeSignal(*writer, channels, 300);
            ASSERT_TRUE(writer->close(error)) << error;
            render_test::Wav wav = readWav(path);
            ASSERT_EQ(wav.channels, channels);
            ASSERT_EQ(wav.frames, 300);
            EXPECT_EQ(wav.sampleRate, 48000);
            EXPECT_EQ(wav.format & SF_FORMAT_SUBMASK, format == SampleFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
            for (int c = 0; c < channels; ++c) {
                for (int i = 0; i < 300; ++i) {
                    float expected = std::sin(0.01f * i * (c + 1)) * (c == 0 ? 1.5f : 0.5f);
                    if (format == SampleFormat::Pcm16) {
                        // libsndfile reads 16-bit as value / 32768.
                        EXPECT_EQ(wav.samples[c][i], floatToPcm16(expected) / 32768.0f) << c << " " << i;
                    } else {
                        EXPECT_EQ(wav.samples[c][i], expected) << c << " " << i;
                    }
                }
            }
        }
    }
}

TEST(WavWriter, ManyChannelsUseTheExtensibleFormat) {
    std::string path = tempPath("twenty.wav");
    std::string error;
    auto writer = openBuiltinWavFile(path, 20, 44100, SampleFormat::Pcm16, error);
    ASSERT_TRUE(writer) << error;
    writeSignal(*writer, 20, 10);
    ASSERT_TRUE(writer->close(error));
    std::vector<uint8_t> b = readBytes(path);
    EXPECT_EQ(le32(b, 16), 40u);
    EXPECT_EQ(le16(b, 20), 0xfffe);
    EXPECT_EQ(le16(b, 38), 16);   // valid bits
    EXPECT_EQ(le32(b, 40), 0u);   // no speaker positions
    EXPECT_EQ(le16(b, 44), 1);    // PCM sub-format
    EXPECT_EQ(tag(b, 60), "data");
    EXPECT_EQ(le32(b, 64), 400u);
    EXPECT_EQ(readWav(path).channels, 20);
}

TEST(WavWriter, SixteenBitConversionClipsAndRounds) {
    EXPECT_EQ(floatToPcm16(0.0f), 0);
    EXPECT_EQ(floatToPcm16(1.0f), 32767);
    EXPECT_EQ(floatToPcm16(-1.0f), -32767);
    EXPECT_EQ(floatToPcm16(4.0f), 32767);
    EXPECT_EQ(floatToPcm16(-4.0f), -32767);
    EXPECT_EQ(floatToPcm16(std::nanf("")), -32767);
    EXPECT_EQ(floatToPcm16(0.5f / 32767.0f), 1);  // half a step rounds away from zero
    EXPECT_EQ(floatToPcm16(-0.4f / 32767.0f), 0);
}

TEST(WavWriter, LibsndfileWriterClipsInsteadOfWrapping) {
    std::string path = tempPath("clip.wav");
    std::string error;
    auto writer = openWavFile(path, 1, 44100, SampleFormat::Pcm16, error);
    ASSERT_TRUE(writer) << error;
    const float loud[4] = {2.0f, -2.0f, 0.5f, 0.0f};
    const float* channels[1] = {loud};
    ASSERT_TRUE(writer->write(channels, 4));
    ASSERT_TRUE(writer->close(error)) << error;
    render_test::Wav wav = readWav(path);
    ASSERT_EQ(wav.frames, 4);
    EXPECT_GT(wav.samples[0][0], 0.99f);
    EXPECT_LT(wav.samples[0][1], -0.99f);
    EXPECT_NEAR(wav.samples[0][2], 0.5f, 1.0f / 32768.0f);
}

TEST(WavWriter, UnwritablePathFails) {
    std::string error;
    EXPECT_FALSE(openBuiltinWavFile("/nonexistent-folder/x.wav", 2, 44100, SampleFormat::Float32, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(openWavFile("/nonexistent-folder/x.wav", 2, 44100, SampleFormat::Float32, error));
}

}  // namespace
