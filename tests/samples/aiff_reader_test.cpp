#include <gtest/gtest.h>

#include <cmath>

#include "modules/sample_reader_aiff.h"
#include "tests/samples/exact_buffer.h"
#include "tests/samples/sample_file_builder.h"

using namespace test_files;

namespace {

bool readAiff(const Bytes& bytes, DecodedSample& out, const SampleReadOptions& options = SampleReadOptions{}) {
    return readExact(readAiffSample, bytes, out, options);
}

double extended(std::initializer_list<uint8_t> ten) {
    Bytes b(ten);
    return aiffExtendedToDouble(b.data());
}

}  // namespace

TEST(AiffReader, SixteenBitIsByteSwapped) {
    Bytes data = {0x12, 0x34, 0xFF, 0xFE, 0x80, 0x00, 0x7F, 0xFF};
    DecodedSample s;
    ASSERT_TRUE(readAiff(aiffFile(1, 16, 44100, data), s));
    EXPECT_EQ(s.frameCount, 4u);
    EXPECT_FALSE(s.stereo);
    EXPECT_EQ(s.samples, (std::vector<int16_t>{0x1234, -2, -32768, 32767}));
}

TEST(AiffReader, TwentyFourBitStereoKeepsTheUpperTwoBytes) {
    Bytes data;
    for (int32_t v : {0x123456, -0x123456, 0x7FFFFF, -1, 0x000080, -0x800000}) putInt24Be(data, v);
    DecodedSample s;
    ASSERT_TRUE(readAiff(aiffFile(2, 24, 48000, data), s));
    EXPECT_EQ(s.frameCount, 3u);
    EXPECT_TRUE(s.stereo);
    // -0x123456 is 0xEDCBAA: its upper bytes are 0xEDCB.
    EXPECT_EQ(s.samples, (std::vector<int16_t>{0x1234, static_cast<int16_t>(0xEDCB), 32767, -1, 0, -32768}));
    EXPECT_FLOAT_EQ(s.sampleRateHz, 48000.0f);

    DecodedSample mono;
    ASSERT_TRUE(readAiff(aiffFile(2, 24, 48000, data), mono, SampleReadOptions{SampleChannels::MonoMix, true}));
    EXPECT_EQ(mono.samples, (std::vector<int16_t>{(0x1234 + static_cast<int16_t>(0xEDCB)) / 2, 16383, -16384}));
}

TEST(AiffReader, FrameCountsComeFromTheSoundDataLength) {
    DecodedSample s;
    ASSERT_TRUE(readAiff(aiffFile(1, 24, 44100, Bytes(300, 0)), s));
    EXPECT_EQ(s.frameCount, 100u);
    ASSERT_TRUE(readAiff(aiffFile(2, 24, 44100, Bytes(300, 0)), s));
    EXPECT_EQ(s.frameCount, 50u);
    ASSERT_TRUE(readAiff(aiffFile(1, 16, 44100, Bytes(300, 0)), s));
    EXPECT_EQ(s.frameCount, 150u);
    ASSERT_TRUE(readAiff(aiffFile(2, 16, 44100, Bytes(300, 0)), s));
    EXPECT_EQ(s.frameCount, 75u);
}

TEST(AiffReader, ExtendedSampleRates) {
    // 44100 as common writers store it.
    EXPECT_EQ(extended({0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), 44100.0);
    EXPECT_EQ(extended({0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}), 48000.0);
    EXPECT_EQ(extended({0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), 22050.0);
    EXPECT_EQ(extended({0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}), 1.0);
    EXPECT_EQ(extended({0x3F, 0xFE, 0xC0, 0, 0, 0, 0, 0, 0, 0}), 0.75);
    EXPECT_EQ(extended({0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), -44100.0);
    EXPECT_EQ(extended({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0.0);
    EXPECT_TRUE(std::isinf(extended({0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0})));
    EXPECT_TRUE(std::isinf(extended({0x7F, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0})));
    // 44100.5: the fraction lives in the lower mantissa bits.
    EXPECT_EQ(extended({0x40, 0x0E, 0xAC, 0x44, 0x80, 0, 0, 0, 0, 0}), 44100.5);
    for (uint32_t rate : {8000u, 11025u, 32000u, 96000u, 192000u}) {
        Bytes b = extendedRate(rate);
        EXPECT_EQ(aiffExtendedToDouble(b.data()), static_cast<double>(rate));
    }
}

TEST(AiffReader, RateReachesTheSample) {
    DecodedSample s;
    ASSERT_TRUE(readAiff(aiffFile(1, 16, 32000, Bytes(4, 0)), s));
    EXPECT_FLOAT_EQ(s.sampleRateHz, 32000.0f);
}

TEST(AiffReader, ImpossibleRatesAreRefused) {
    for (Bytes rate : {Bytes{0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, Bytes(10, 0),
                       Bytes{0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}}) {
        Bytes chunks;
        putChunkBe(chunks, "COMM", commBody(1, 2, 16, rate));
        putChunkBe(chunks, "SSND", ssndBody(Bytes(4, 0)));
        DecodedSample s;
        EXPECT_FALSE(readAiff(form(chunks), s));
    }
}

TEST(AiffReader, NonZeroSoundDataOffsetLeavesTheSampleSilent) {
    Bytes chunks;
    putChunkBe(chunks, "COMM", commBody(1, 4, 16, extendedRate(44100)));
    putChunkBe(chunks, "SSND", ssndBody(Bytes(12, 0x11), 4));
    DecodedSample s;
    EXPECT_FALSE(readAiff(form(chunks), s));
    EXPECT_TRUE(s.empty());
}

TEST(AiffReader, HeaderChecks) {
    DecodedSample s;
    Bytes good = aiffFile(1, 16, 44100, Bytes(8, 0));
    ASSERT_TRUE(readAiff(good, s));

    Bytes aifc = good;
    std::memcpy(aifc.data() + 8, "AIFC", 4);
    EXPECT_FALSE(readAiff(aifc, s));
    Bytes notForm = good;
    std::memcpy(notForm.data(), "RIFF", 4);
    EXPECT_FALSE(readAiff(notForm, s));
    Bytes zeroSize = good;
    std::memset(zeroSize.data() + 4, 0, 4);
    EXPECT_FALSE(readAiff(zeroSize, s));
    Bytes negativeSize = good;
    negativeSize[4] = 0x80;
    EXPECT_FALSE(readAiff(negativeSize, s));
    EXPECT_FALSE(readAiff(Bytes(good.begin(), good.begin() + 11), s));
}

TEST(AiffReader, OnlySixteenAndTwentyFourBitMonoOrStereo) {
    DecodedSample s;
    EXPECT_FALSE(readAiff(aiffFile(1, 8, 44100, Bytes(8, 0)), s));
    EXPECT_FALSE(readAiff(aiffFile(1, 32, 44100, Bytes(8, 0)), s));
    EXPECT_FALSE(readAiff(aiffFile(1, 12, 44100, Bytes(8, 0)), s));
    EXPECT_FALSE(readAiff(aiffFile(1, 17, 44100, Bytes(9, 0)), s));
    EXPECT_FALSE(readAiff(aiffFile(3, 16, 44100, Bytes(12, 0)), s));
    EXPECT_FALSE(readAiff(aiffFile(0, 16, 44100, Bytes(12, 0)), s));
}

TEST(AiffReader, ChunksMayComeInAnyOrderWithPadding) {
    Bytes chunks;
    putChunkBe(chunks, "NAME", Bytes{'S', 'S', 'N'});  // odd, padded
    putChunkBe(chunks, "SSND", ssndBody(Bytes{0x01, 0x02}));
    putChunkBe(chunks, "COMM", commBody(1, 1, 16, extendedRate(44100)));
    DecodedSample s;
    ASSERT_TRUE(readAiff(form(chunks), s));
    EXPECT_EQ(s.samples, std::vector<int16_t>{0x0102});
}

TEST(AiffReader, LyingSizesGiveAnEmptySampleWithoutReadingPastTheEnd) {
    DecodedSample s;
    // The sound data length counts the offset and block-size fields: a
    // reader that forgot them would read eight bytes past this file.
    Bytes exact = aiffFile(1, 16, 44100, Bytes{0, 1, 0, 2});
    ASSERT_TRUE(readAiff(exact, s));
    EXPECT_EQ(s.frameCount, 2u);

    Bytes tooLong;
    putChunkBe(tooLong, "COMM", commBody(1, 2, 16, extendedRate(44100)));
    putChunkBe(tooLong, "SSND", ssndBody(Bytes(4, 0)), 13);
    EXPECT_FALSE(readAiff(form(tooLong), s));

    Bytes shorterThanHeader;
    putChunkBe(shorterThanHeader, "COMM", commBody(1, 2, 16, extendedRate(44100)));
    putChunkBe(shorterThanHeader, "SSND", Bytes(4, 0));
    EXPECT_FALSE(readAiff(form(shorterThanHeader), s));

    Bytes shortComm;
    Bytes comm = commBody(1, 2, 16, extendedRate(44100));
    comm.resize(12);
    putChunkBe(shortComm, "COMM", comm);
    putChunkBe(shortComm, "SSND", ssndBody(Bytes(4, 0)));
    EXPECT_FALSE(readAiff(form(shortComm), s));

    Bytes tagAtEnd = form(Bytes{});
    putTag(tagAtEnd, "COMM");
    EXPECT_FALSE(readAiff(tagAtEnd, s));
}

TEST(AiffReader, EveryTruncationIsRefusedSafely) {
    Bytes data;
    for (int i = 0; i < 20; ++i) putInt24Be(data, i * 1000);
    Bytes file = aiffFile(2, 24, 44100, data);
    DecodedSample s;
    ASSERT_TRUE(readAiff(file, s));
    for (size_t cut = 0; cut < file.size(); ++cut) {
        ExactBuffer buffer(file, cut);
        EXPECT_FALSE(readAiffSample(buffer.data(), buffer.size(), SampleReadOptions{}, s)) << cut;
        EXPECT_TRUE(s.empty());
    }
}

TEST(AiffReader, CorruptedBytesNeverReadOutside) {
    const Bytes file = aiffFile(2, 16, 44100, Bytes(16, 0x22));
    for (size_t pos = 0; pos < file.size(); ++pos) {
        for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            Bytes damaged = file;
            damaged[pos] = value;
            DecodedSample s;
            if (readAiff(damaged, s)) {
                EXPECT_EQ(s.samples.size(), static_cast<size_t>(s.frameCount) * static_cast<size_t>(s.channelCount()));
            } else {
                EXPECT_TRUE(s.empty());
            }
        }
    }
}
