#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "modules/sample_reader_wav.h"
#include "tests/samples/exact_buffer.h"
#include "tests/samples/sample_file_builder.h"

using namespace test_files;

namespace {

constexpr SampleReadOptions kMonoMix{SampleChannels::MonoMix, false};

bool readWav(const Bytes& bytes, DecodedSample& out, const SampleReadOptions& options = SampleReadOptions{}) {
    return readExact(readWavSample, bytes, out, options);
}

WavFormatFields format(uint16_t code, uint16_t channels, uint16_t bytesPerValue, uint32_t rateHz = 44100) {
    WavFormatFields f;
    f.code = code;
    f.channels = channels;
    f.rateHz = rateHz;
    f.blockAlign = static_cast<uint16_t>(channels * bytesPerValue);
    f.bits = static_cast<uint16_t>(bytesPerValue * 8);
    return f;
}

Bytes floatData(std::initializer_list<float> values) {
    Bytes data;
    for (float v : values) putFloatLe(data, v);
    return data;
}

}  // namespace

TEST(WavReader, TwentyFourBitMonoOf300DataBytesGives100Frames) {
    Bytes data;
    for (int i = 0; i < 100; ++i) putInt24Le(data, i * 0x010101);
    ASSERT_EQ(data.size(), 300u);
    DecodedSample s;
    ASSERT_TRUE(readWav(wavFile(format(1, 1, 3), data), s));
    EXPECT_EQ(s.frameCount, 100u);
    EXPECT_FALSE(s.stereo);
    EXPECT_EQ(s.samples.size(), 100u);
    EXPECT_FLOAT_EQ(s.sampleRateHz, 44100.0f);
}

TEST(WavReader, TwentyFourBitKeepsTheUpperTwoBytes) {
    Bytes data;
    for (int32_t v : {0x123456, -1, 0x7FFFFF, -0x800000, 0x0000FF, -0x000100}) putInt24Le(data, v);
    DecodedSample s;
    ASSERT_TRUE(readWav(wavFile(format(1, 1, 3), data), s));
    ASSERT_EQ(s.frameCount, 6u);
    EXPECT_EQ(s.samples[0], 0x1234);
    EXPECT_EQ(s.samples[1], -1);
    EXPECT_EQ(s.samples[2], 32767);
    EXPECT_EQ(s.samples[3], -32768);
    EXPECT_EQ(s.samples[4], 0);
    EXPECT_EQ(s.samples[5], -1);
}

TEST(WavReader, FloatScalesBy32767AndTruncatesAfterAddingOneHalf) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Bytes data = floatData({0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 0.25f, 2.0f, -3.0f, nan, -inf, 1e-6f});
    DecodedSample s;
    ASSERT_TRUE(readWav(wavFile(format(3, 1, 4), data), s));
    ASSERT_EQ(s.frameCount, 11u);
    EXPECT_EQ(s.samples[0], 0);
    EXPECT_EQ(s.samples[1], 32767);
    EXPECT_EQ(s.samples[2], -32766);  // -32767 + 0.5 truncates towards zero
    EXPECT_EQ(s.samples[3], 16384);   // 16383.5 + 0.5
    EXPECT_EQ(s.samples[4], -16383);
    EXPECT_EQ(s.samples[5], 8192);  // 8191.75 + 0.5
    EXPECT_EQ(s.samples[6], 32767);   // held at full scale
    EXPECT_EQ(s.samples[7], -32768);
    EXPECT_EQ(s.samples[8], 0);
    EXPECT_EQ(s.samples[9], -32768);
    EXPECT_EQ(s.samples[10], 0);
}

TEST(WavReader, StereoFrameCountsForEveryWidth) {
    struct Case {
        uint16_t code;
        uint16_t bytes;
    };
    for (Case c : {Case{1, 2}, Case{1, 3}, Case{1, 4}, Case{3, 4}}) {
        Bytes data(static_cast<size_t>(c.bytes) * 2 * 37, 0);
        DecodedSample s;
        ASSERT_TRUE(readWav(wavFile(format(c.code, 2, c.bytes), data), s)) << c.code << "/" << c.bytes;
        EXPECT_EQ(s.frameCount, 37u);
        EXPECT_TRUE(s.stereo);
        EXPECT_EQ(s.samples.size(), 74u);
    }
}

TEST(WavReader, StereoStaysInterleavedAndMixesDownToTheMean) {
    Bytes data;
    for (int v : {1000, -3000, 32767, 32767, -32768, -32768, 5, 6}) putLe16(data, static_cast<uint16_t>(v));
    Bytes file = wavFile(format(1, 2, 2), data);

    DecodedSample s;
    ASSERT_TRUE(readWav(file, s));
    ASSERT_EQ(s.frameCount, 4u);
    EXPECT_EQ(s.samples, (std::vector<int16_t>{1000, -3000, 32767, 32767, -32768, -32768, 5, 6}));

    DecodedSample mono;
    ASSERT_TRUE(readWav(file, mono, kMonoMix));
    EXPECT_FALSE(mono.stereo);
    EXPECT_EQ(mono.samples, (std::vector<int16_t>{-1000, 32767, -32768, 5}));
}

TEST(WavReader, FloatStereoMixesDownToTheClippedSum) {
    Bytes file = wavFile(format(3, 2, 4), floatData({0.25f, 0.25f, 0.75f, 0.75f, -0.5f, 0.5f}));
    DecodedSample mono;
    ASSERT_TRUE(readWav(file, mono, kMonoMix));
    ASSERT_EQ(mono.frameCount, 3u);
    EXPECT_EQ(mono.samples[0], 16384);
    EXPECT_EQ(mono.samples[1], 32767);
    EXPECT_EQ(mono.samples[2], 0);
}

TEST(WavReader, TwentyFourAndThirtyTwoBitStereoMixDownToTheMeanOfTheUpperBytes) {
    Bytes d24;
    putInt24Le(d24, 0x100000);
    putInt24Le(d24, 0x300000);
    Bytes d32;
    putLe32(d32, 0x10000000);
    putLe32(d32, 0xD0000000u);
    DecodedSample a, b;
    ASSERT_TRUE(readWav(wavFile(format(1, 2, 3), d24), a, kMonoMix));
    ASSERT_TRUE(readWav(wavFile(format(1, 2, 4), d32), b, kMonoMix));
    EXPECT_EQ(a.samples, std::vector<int16_t>{0x2000});
    EXPECT_EQ(b.samples, std::vector<int16_t>{(0x1000 - 0x3000) / 2});
}

TEST(WavReader, ExtensibleFormatCarriesPcmAndFloat) {
    WavFormatFields f24 = format(1, 2, 3, 48000);
    f24.extensible = true;
    Bytes data;
    putInt24Le(data, 0x40AAAA);
    putInt24Le(data, -0x400000);
    DecodedSample s;
    ASSERT_TRUE(readWav(wavFile(f24, data), s));
    EXPECT_EQ(s.samples, (std::vector<int16_t>{0x40AA, -0x4000}));
    EXPECT_FLOAT_EQ(s.sampleRateHz, 48000.0f);

    WavFormatFields ff = format(3, 1, 4);
    ff.extensible = true;
    ASSERT_TRUE(readWav(wavFile(ff, floatData({0.5f})), s));
    EXPECT_EQ(s.samples, std::vector<int16_t>{16384});

    WavFormatFields adpcm = format(2, 1, 2);
    adpcm.extensible = true;
    EXPECT_FALSE(readWav(wavFile(adpcm, Bytes(8, 0)), s));
}

TEST(WavReader, ExtensibleWithAForeignGuidIsRefused) {
    WavFormatFields f = format(1, 1, 2);
    f.extensible = true;
    Bytes chunks;
    Bytes fmt = fmtBody(f);
    fmt[39] ^= 0xFF;
    putChunkLe(chunks, "fmt ", fmt);
    putChunkLe(chunks, "data", Bytes(4, 0));
    DecodedSample s;
    EXPECT_FALSE(readWav(riff(chunks), s));
}

TEST(WavReader, SmplLoopBecomesAHalfOpenFrameRange) {
    Bytes chunks;
    putChunkLe(chunks, "fmt ", fmtBody(format(1, 1, 2)));
    putChunkLe(chunks, "data", Bytes(2000, 0));
    putChunkLe(chunks, "smpl", smplBody(100, 199));
    DecodedSample s;
    ASSERT_TRUE(readWav(riff(chunks), s));
    ASSERT_TRUE(s.hasFileLoop);
    EXPECT_EQ(s.loopStartFrame, 100u);
    EXPECT_EQ(s.loopEndFrame, 200u);
    EXPECT_FLOAT_EQ(s.loopStartFraction(), 0.1f);
    EXPECT_FLOAT_EQ(s.loopEndFraction(), 0.2f);
}

TEST(WavReader, SmplIsFoundBeforeTheDataTooAndIsBoundedByTheFrames) {
    Bytes chunks;
    putChunkLe(chunks, "fmt ", fmtBody(format(1, 1, 2)));
    putChunkLe(chunks, "smpl", smplBody(10, 5000));
    putChunkLe(chunks, "data", Bytes(200, 0));
    DecodedSample s;
    ASSERT_TRUE(readWav(riff(chunks), s));
    ASSERT_TRUE(s.hasFileLoop);
    EXPECT_EQ(s.loopStartFrame, 10u);
    EXPECT_EQ(s.loopEndFrame, 100u);
    EXPECT_FLOAT_EQ(s.loopEndFraction(), 1.0f);
}

TEST(WavReader, SmplWithoutLoopsOrCutShortOrInvertedGivesNoLoop) {
    auto loopOf = [](const Bytes& smpl) {
        Bytes chunks;
        putChunkLe(chunks, "fmt ", fmtBody(format(1, 1, 2)));
        putChunkLe(chunks, "data", Bytes(200, 0));
        putChunkLe(chunks, "smpl", smpl);
        DecodedSample s;
        EXPECT_TRUE(readWav(riff(chunks), s));
        return s.hasFileLoop;
    };
    EXPECT_FALSE(loopOf(smplBody(10, 20, 0)));
    Bytes shortSmpl = smplBody(10, 20);
    shortSmpl.resize(50);
    EXPECT_FALSE(loopOf(shortSmpl));
    EXPECT_FALSE(loopOf(smplBody(150, 120)));
    EXPECT_FALSE(loopOf(smplBody(100, 500)));  // starts at the last frame's end
    EXPECT_TRUE(loopOf(smplBody(10, 20)));
}

TEST(WavReader, ChunkWalkSkipsOddChunksWithTheirPadByte) {
    Bytes chunks;
    Bytes odd = {'d', 'a', 't'};  // would fool a byte-wise search for "data"
    putChunkLe(chunks, "LIST", odd);
    putChunkLe(chunks, "fmt ", fmtBody(format(1, 1, 2, 22050)));
    Bytes junk = {'d', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0x7F, 1};
    putChunkLe(chunks, "junk", junk);
    Bytes data;
    putLe16(data, 1234);
    putChunkLe(chunks, "data", data);
    DecodedSample s;
    ASSERT_TRUE(readWav(riff(chunks), s));
    EXPECT_EQ(s.samples, std::vector<int16_t>{1234});
    EXPECT_FLOAT_EQ(s.sampleRateHz, 22050.0f);
}

TEST(WavReader, UnsupportedFormatsLeaveTheSampleEmpty) {
    Bytes data(64, 0x11);
    DecodedSample s;
    WavFormatFields eightBit = format(1, 1, 1);
    EXPECT_FALSE(readWav(wavFile(eightBit, data), s));
    WavFormatFields adpcm = format(2, 1, 2);
    EXPECT_FALSE(readWav(wavFile(adpcm, data), s));
    EXPECT_FALSE(readWav(wavFile(format(1, 3, 2), data), s));  // three channels
    EXPECT_FALSE(readWav(wavFile(format(1, 0, 2), data), s));
    EXPECT_FALSE(readWav(wavFile(format(3, 1, 8), data), s));  // 64-bit float
    WavFormatFields oddAlign = format(1, 2, 2);
    oddAlign.blockAlign = 5;
    EXPECT_FALSE(readWav(wavFile(oddAlign, data), s));
    WavFormatFields twelveBitsInOne = format(1, 1, 1);
    twelveBitsInOne.bits = 12;
    EXPECT_FALSE(readWav(wavFile(twelveBitsInOne, data), s));
    EXPECT_FALSE(readWav(wavFile(format(1, 1, 2, 0), data), s));  // no sample rate
    EXPECT_TRUE(s.empty());
    EXPECT_TRUE(s.samples.empty());
    // Twelve significant bits in a 16-bit container are ordinary 16-bit data.
    WavFormatFields twelveBits = format(1, 1, 2);
    twelveBits.bits = 12;
    EXPECT_TRUE(readWav(wavFile(twelveBits, data), s));
}

TEST(WavReader, DrumReadingInsistsOnTheWaveTag) {
    Bytes chunks;
    putChunkLe(chunks, "fmt ", fmtBody(format(1, 1, 2)));
    putChunkLe(chunks, "data", Bytes(20, 0));
    Bytes notWave = riff(chunks, "WAVX");
    DecodedSample s;
    EXPECT_TRUE(readWav(notWave, s));
    EXPECT_FALSE(readWav(notWave, s, SampleReadOptions{SampleChannels::MonoMix, true}));
    EXPECT_TRUE(readWav(riff(chunks), s, SampleReadOptions{SampleChannels::MonoMix, true}));
}

TEST(WavReader, MissingChunksLeaveTheSampleEmpty) {
    DecodedSample s;
    Bytes onlyFmt;
    putChunkLe(onlyFmt, "fmt ", fmtBody(format(1, 1, 2)));
    EXPECT_FALSE(readWav(riff(onlyFmt), s));
    Bytes onlyData;
    putChunkLe(onlyData, "data", Bytes(20, 0));
    EXPECT_FALSE(readWav(riff(onlyData), s));
    Bytes emptyData;
    putChunkLe(emptyData, "fmt ", fmtBody(format(1, 1, 2)));
    putChunkLe(emptyData, "data", Bytes{});
    EXPECT_FALSE(readWav(riff(emptyData), s));
    EXPECT_FALSE(readWav(Bytes{}, s));
    EXPECT_FALSE(readWav(riff(Bytes{}), s));
}

TEST(WavReader, LyingSizesGiveAnEmptySampleWithoutReadingPastTheEnd) {
    DecodedSample s;
    // "data" claims one byte more than the file holds.
    Bytes chunks;
    putChunkLe(chunks, "fmt ", fmtBody(format(1, 1, 2)));
    putChunkLe(chunks, "data", Bytes(100, 0), 101);
    EXPECT_FALSE(readWav(riff(chunks), s));
    // A huge size.
    Bytes huge;
    putChunkLe(huge, "fmt ", fmtBody(format(1, 1, 2)));
    putChunkLe(huge, "data", Bytes(100, 0), 0xFFFFFFF0u);
    EXPECT_FALSE(readWav(riff(huge), s));
    // "fmt " claims its sixteen bytes but the file ends after eight of them.
    Bytes cutFmt = riff(Bytes{});
    putTag(cutFmt, "fmt ");
    putLe32(cutFmt, 16);
    Bytes body = fmtBody(format(1, 1, 2));
    cutFmt.insert(cutFmt.end(), body.begin(), body.begin() + 8);
    EXPECT_FALSE(readWav(cutFmt, s));
    // A chunk tag in the last four bytes, with no room for its size.
    Bytes tagAtEnd = wavFile(format(1, 1, 2), Bytes(8, 0));
    Bytes lastTag = riff(Bytes{});
    putTag(lastTag, "fmt ");
    EXPECT_FALSE(readWav(lastTag, s));
    putTag(tagAtEnd, "smpl");
    EXPECT_TRUE(readWav(tagAtEnd, s));
    EXPECT_FALSE(s.hasFileLoop);
    // An extensible "fmt " of basic size.
    WavFormatFields ext = format(1, 1, 2);
    ext.extensible = true;
    Bytes shortExt;
    Bytes extBody = fmtBody(ext);
    extBody.resize(16);
    putChunkLe(shortExt, "fmt ", extBody);
    putChunkLe(shortExt, "data", Bytes(8, 0));
    EXPECT_FALSE(readWav(riff(shortExt), s));
}

TEST(WavReader, EveryTruncationIsRefusedSafely) {
    Bytes chunks;
    putChunkLe(chunks, "fmt ", fmtBody(format(1, 2, 3)));
    putChunkLe(chunks, "smpl", smplBody(1, 5));
    Bytes data;
    for (int i = 0; i < 24; ++i) putInt24Le(data, i * 3000);
    putChunkLe(chunks, "data", data);
    Bytes file = riff(chunks);
    DecodedSample s;
    ASSERT_TRUE(readWav(file, s));
    EXPECT_EQ(s.frameCount, 12u);
    for (size_t cut = 0; cut < file.size(); ++cut) {
        ExactBuffer buffer(file, cut);
        EXPECT_FALSE(readWavSample(buffer.data(), buffer.size(), SampleReadOptions{}, s)) << cut;
        EXPECT_TRUE(s.empty());
    }
}

TEST(WavReader, CorruptedBytesNeverReadOutside) {
    Bytes chunks;
    putChunkLe(chunks, "fmt ", fmtBody(format(3, 2, 4)));
    putChunkLe(chunks, "smpl", smplBody(0, 3));
    putChunkLe(chunks, "data", floatData({0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f}));
    const Bytes file = riff(chunks);
    // Every byte position set to a few hostile values: sizes become huge,
    // zero or odd, tags disappear. ASan checks the reads; the result must
    // stay consistent with itself.
    for (size_t pos = 0; pos < file.size(); ++pos) {
        for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            Bytes damaged = file;
            damaged[pos] = value;
            DecodedSample s;
            bool ok = readWav(damaged, s);
            if (ok) {
                EXPECT_GT(s.frameCount, 0u);
                EXPECT_EQ(s.samples.size(), static_cast<size_t>(s.frameCount) * static_cast<size_t>(s.channelCount()));
                EXPECT_LE(s.loopEndFrame, s.frameCount);
            } else {
                EXPECT_TRUE(s.empty());
            }
        }
    }
}
