#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>

#include "modules/sample_reader_wav.h"
#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"
#include "tests/samples/sample_file_builder.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/memory_resources.h"

using namespace test_files;

namespace {

Bytes monoWav(std::initializer_list<int16_t> values, const char* form = "WAVE") {
    WavFormatFields f;
    Bytes data;
    for (int16_t v : values) putLe16(data, static_cast<uint16_t>(v));
    Bytes chunks;
    putChunkLe(chunks, "fmt ", fmtBody(f));
    putChunkLe(chunks, "data", data);
    return riff(chunks, form);
}

Bytes stereoWav(std::initializer_list<int16_t> interleaved) {
    WavFormatFields f;
    f.channels = 2;
    f.blockAlign = 4;
    Bytes data;
    for (int16_t v : interleaved) putLe16(data, static_cast<uint16_t>(v));
    return wavFile(f, data);
}

Bytes packed(uint8_t marker, const Bytes& file) { return sample_store::packEntry(marker, file.data(), file.size()); }

// A resource table the tests fill; looked up like the plug-in's resources.
using FakeResources = test_support::MemoryResources;

}  // namespace

TEST(SampleStoreEntry, ScrambleChoosesTheKeyByPositionAndIsItsOwnInverse) {
    Bytes plain(64, 0);
    Bytes bytes = plain;
    sample_store::scrambleBytes(bytes.data(), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint8_t expected = (i & 1) ? sample_store::kKeyOdd : (i & 2) ? sample_store::kKeyBit1 : sample_store::kKeyOther;
        EXPECT_EQ(bytes[i], expected) << i;
    }
    EXPECT_EQ(bytes[0], sample_store::kKeyOther);
    EXPECT_EQ(bytes[2], sample_store::kKeyBit1);
    EXPECT_EQ(bytes[3], sample_store::kKeyOdd);
    sample_store::scrambleBytes(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, plain);

    // The three keys differ, so no position leaves a byte unchanged.
    EXPECT_NE(sample_store::kKeyOdd, sample_store::kKeyBit1);
    EXPECT_NE(sample_store::kKeyOdd, sample_store::kKeyOther);
    EXPECT_NE(sample_store::kKeyBit1, sample_store::kKeyOther);
}

TEST(SampleStoreEntry, ScramblingInPiecesMatchesScramblingAtOnce) {
    Bytes file = monoWav({1, 2, 3, 4, 5, 6, 7});
    Bytes whole = file;
    sample_store::scrambleBytes(whole.data(), whole.size());
    Bytes pieces = file;
    sample_store::scrambleBytes(pieces.data(), 5, 0);
    sample_store::scrambleBytes(pieces.data() + 5, 6, 5);
    sample_store::scrambleBytes(pieces.data() + 11, pieces.size() - 11, 11);
    EXPECT_EQ(pieces, whole);
}

TEST(SampleStoreEntry, PackThenDecodeGivesWhatTheReaderGives) {
    Bytes file = stereoWav({100, -100, 2000, 4000});
    Bytes entry = packed(sample_store::kMarkerWav, file);
    ASSERT_EQ(entry.size(), file.size() + 1);
    EXPECT_EQ(entry[0], '[');
    EXPECT_NE(Bytes(entry.begin() + 1, entry.end()), file);

    DecodedSample direct, viaStore;
    ASSERT_TRUE(readWavSample(file.data(), file.size(), SampleReadOptions{}, direct));
    ASSERT_TRUE(sample_store::decodeEntry(entry.data(), entry.size(), SampleReadOptions{}, viaStore));
    EXPECT_EQ(viaStore.samples, direct.samples);
    EXPECT_TRUE(viaStore.stereo);

    Bytes aiff = aiffFile(1, 16, 44100, Bytes{0x10, 0x00});
    Bytes aiffEntry = packed(sample_store::kMarkerAiff, aiff);
    EXPECT_EQ(aiffEntry[0], 'X');
    ASSERT_TRUE(sample_store::decodeEntry(aiffEntry.data(), aiffEntry.size(), SampleReadOptions{}, viaStore));
    EXPECT_EQ(viaStore.samples, std::vector<int16_t>{0x1000});
}

TEST(SampleStoreEntry, MarkersThatSelectNothingOrTheWrongReaderGiveNoSample) {
    Bytes file = monoWav({1, 2});
    DecodedSample s;
    for (uint8_t marker : {sample_store::kMarkerEmpty, uint8_t('Z'), uint8_t(0), sample_store::kMarkerAiff}) {
        Bytes entry = packed(marker, file);
        EXPECT_FALSE(sample_store::decodeEntry(entry.data(), entry.size(), SampleReadOptions{}, s)) << int(marker);
        EXPECT_TRUE(s.empty());
    }
    // Unscrambled bytes behind a valid marker are noise to the reader.
    Bytes plainEntry = file;
    plainEntry.insert(plainEntry.begin(), sample_store::kMarkerWav);
    EXPECT_FALSE(sample_store::decodeEntry(plainEntry.data(), plainEntry.size(), SampleReadOptions{}, s));
    const uint8_t lone = sample_store::kMarkerWav;
    EXPECT_FALSE(sample_store::decodeEntry(&lone, 1, SampleReadOptions{}, s));
    EXPECT_FALSE(sample_store::decodeEntry(nullptr, 0, SampleReadOptions{}, s));
}

TEST(SampleStoreKeys, FileNamePartAndBlanks) {
    EXPECT_STREQ(sample_store::fileNamePart("C:\\Samples\\Drums\\Snare 1.wav"), "Snare 1.wav");
    EXPECT_STREQ(sample_store::fileNamePart("/home/user/pad.aif"), "pad.aif");
    EXPECT_STREQ(sample_store::fileNamePart("D:Kick.wav"), "Kick.wav");
    EXPECT_STREQ(sample_store::fileNamePart("Kick.wav"), "Kick.wav");
    EXPECT_STREQ(sample_store::fileNamePart("folder\\"), "");
    EXPECT_STREQ(sample_store::fileNamePart(nullptr), "");
    EXPECT_EQ(sample_store::storeKey("\\Samples\\Drums\\Default\\Hats Open.wav"), "Hats_Open.wav");
    EXPECT_EQ(sample_store::storeKey("a b  c.wav"), "a_b__c.wav");
}

TEST(SampleStoreKeys, IndexParsing) {
    std::string text = "# samples\r\nKick.wav\r\n\nSnare_1.wav\n" + std::string(300, 'x') + "\nLast.aif";
    text += std::string("\nNul") + '\0' + "Inside\n";
    auto keys = sample_store::parseIndex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_EQ(keys, (std::vector<std::string>{"Kick.wav", "Snare_1.wav", "Last.aif"}));

    std::string many;
    for (size_t i = 0; i < sample_store::kMaxIndexEntries + 10; ++i) many += "k" + std::to_string(i) + "\n";
    keys = sample_store::parseIndex(reinterpret_cast<const uint8_t*>(many.data()), many.size());
    EXPECT_EQ(keys.size(), sample_store::kMaxIndexEntries);
    EXPECT_TRUE(sample_store::parseIndex(nullptr, 10).empty());
}

TEST(SampleLibrary, LookupIgnoresCaseFoldersAndBlanks) {
    FakeResources res;
    res.add("Kick.wav", packed(sample_store::kMarkerWav, monoWav({11, 12})));
    res.add("Snare_1.wav", packed(sample_store::kMarkerWav, monoWav({21})));
    res.setIndex("Snare_1.wav\nKick.wav\n");
    SampleLibrary library(res.lookup());
    ASSERT_EQ(library.size(), 2u);

    auto kick = library.find("Kick.wav", SampleChannels::AsStored);
    ASSERT_NE(kick, nullptr);
    EXPECT_EQ(kick->samples, (std::vector<int16_t>{11, 12}));
    EXPECT_EQ(library.find("KICK.WAV", SampleChannels::AsStored), kick);
    EXPECT_EQ(library.find("kick.wav", SampleChannels::AsStored), kick);
    EXPECT_EQ(library.find("C:\\Music\\Samples\\kIcK.wav", SampleChannels::AsStored), kick);
    EXPECT_EQ(library.find("/samples/Kick.wav", SampleChannels::AsStored), kick);

    auto snare = library.find("\\Samples\\Drums\\Default\\Snare 1.wav", SampleChannels::MonoMix);
    ASSERT_NE(snare, nullptr);
    EXPECT_EQ(snare->samples, std::vector<int16_t>{21});
    EXPECT_EQ(library.find("SNARE_1.WAV", SampleChannels::MonoMix), snare);

    EXPECT_EQ(library.find("Kick.aif", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find("Kick", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find("", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find("Samples\\", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find(nullptr, SampleChannels::AsStored), nullptr);
}

TEST(SampleLibrary, EachEntryIsDecodedOnceAndShared) {
    FakeResources res;
    res.add("Pad.wav", packed(sample_store::kMarkerWav, stereoWav({100, 300, -100, -300})));
    res.add("Mono.wav", packed(sample_store::kMarkerWav, monoWav({7})));
    res.setIndex("Pad.wav\nMono.wav\n");
    SampleLibrary library(res.lookup());
    const int lookupsAfterBuild = res.lookups;

    auto first = library.find("Pad.wav", SampleChannels::AsStored);
    auto second = library.find("pad.wav", SampleChannels::AsStored);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_TRUE(first->stereo);

    auto mono = library.find("Pad.wav", SampleChannels::MonoMix);
    ASSERT_NE(mono, nullptr);
    EXPECT_FALSE(mono->stereo);
    EXPECT_EQ(mono->samples, (std::vector<int16_t>{200, -200}));
    EXPECT_EQ(library.find("Pad.wav", SampleChannels::MonoMix).get(), mono.get());

    // A mono file is held once for both players.
    EXPECT_EQ(library.find("Mono.wav", SampleChannels::MonoMix).get(),
              library.find("Mono.wav", SampleChannels::AsStored).get());
    // Lookups after construction never reach the resources again.
    EXPECT_EQ(res.lookups, lookupsAfterBuild);
}

TEST(SampleLibrary, FindAllocatesNothing) {
    FakeResources res;
    res.add("Kick.wav", packed(sample_store::kMarkerWav, monoWav({1})));
    res.setIndex("Kick.wav\n");
    const long beforeBuild = test_alloc::allocationsOnThisThread();
    SampleLibrary library(res.lookup());
    EXPECT_GT(test_alloc::allocationsOnThisThread(), beforeBuild);  // the counter sees allocations
    std::shared_ptr<const DecodedSample> held;
    const long before = test_alloc::allocationsOnThisThread();
    for (int i = 0; i < 100; ++i) {
        held = library.find("\\Samples\\Drums\\Default\\KICK.wav", (i & 1) ? SampleChannels::MonoMix
                                                                           : SampleChannels::AsStored);
        auto missing = library.find("Nothing.wav", SampleChannels::AsStored);
        EXPECT_EQ(missing, nullptr);
    }
    EXPECT_EQ(test_alloc::allocationsOnThisThread(), before);
    EXPECT_NE(held, nullptr);
}

TEST(SampleLibrary, UnusableEntriesAreLeftOut) {
    FakeResources res;
    res.add("Empty.wav", packed(sample_store::kMarkerEmpty, monoWav({1})));
    res.add("Broken.wav", packed(sample_store::kMarkerWav, Bytes(40, 0x33)));
    res.add("WrongReader.wav", packed(sample_store::kMarkerAiff, monoWav({1})));
    res.add("NotWave.wav", packed(sample_store::kMarkerWav, monoWav({5}, "WAVX")));
    res.add("Good.aif", packed(sample_store::kMarkerAiff, aiffFile(1, 16, 44100, Bytes{0, 9})));
    res.add("Unlisted.wav", packed(sample_store::kMarkerWav, monoWav({1})));
    res.setIndex("Empty.wav\nBroken.wav\nWrongReader.wav\nMissing.wav\nNotWave.wav\nGood.aif\n");
    SampleLibrary library(res.lookup());
    EXPECT_EQ(library.size(), 2u);
    EXPECT_EQ(library.find("Empty.wav", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find("Broken.wav", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find("WrongReader.wav", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find("Missing.wav", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find("Unlisted.wav", SampleChannels::AsStored), nullptr);
    // The sampler takes a WAV without the "WAVE" tag; the drum machine does not.
    EXPECT_NE(library.find("NotWave.wav", SampleChannels::AsStored), nullptr);
    EXPECT_EQ(library.find("NotWave.wav", SampleChannels::MonoMix), nullptr);
    auto good = library.find("good.AIF", SampleChannels::MonoMix);
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->samples, std::vector<int16_t>{9});
}

TEST(SampleLibrary, KeysThatFoldAlikeKeepTheFirstListed) {
    FakeResources res;
    res.add("Hats_Open.wav", packed(sample_store::kMarkerWav, monoWav({1})));
    res.add("HATS_OPEN.WAV", packed(sample_store::kMarkerWav, monoWav({2})));
    res.setIndex("Hats_Open.wav\nHATS_OPEN.WAV\nHats_Open.wav\n");
    SampleLibrary library(res.lookup());
    EXPECT_EQ(library.size(), 1u);
    auto s = library.find("Hats Open.wav", SampleChannels::AsStored);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->samples, std::vector<int16_t>{1});
}

TEST(SampleLibrary, NoIndexMeansAnEmptyLibrary) {
    FakeResources res;
    res.add("Kick.wav", packed(sample_store::kMarkerWav, monoWav({1})));
    SampleLibrary library(res.lookup());
    EXPECT_EQ(library.size(), 0u);
    EXPECT_EQ(library.find("Kick.wav", SampleChannels::AsStored), nullptr);
    SampleLibrary none(SampleLibrary::ResourceLookup{});
    EXPECT_EQ(none.size(), 0u);
}

TEST(SampleLibrary, SharedLibraryIsOneObjectOverThePluginResources) {
    const SampleLibrary& a = SampleLibrary::shared();
    const SampleLibrary& b = SampleLibrary::shared();
    EXPECT_EQ(&a, &b);
    SampleLibrary fresh(&platform::findResource);
    ASSERT_EQ(a.size(), fresh.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a.keyAt(i), fresh.keyAt(i));
}

TEST(DrumSampleNames, ChunkNamesAreCompletedIntoTheDefaultFolder) {
    auto normalise = [](const std::string& name, int pad) {
        char out[256];
        drum_samples::normalisePadName(name.c_str(), name.size() + 1, pad, out, sizeof(out));
        return std::string(out);
    };
    EXPECT_EQ(normalise("Kick", 0), "\\Samples\\Drums\\Default\\Kick.wav");
    EXPECT_EQ(normalise("", 2), "\\Samples\\Drums\\Default\\Snare 1.wav");
    EXPECT_EQ(normalise("ab", 13), "\\Samples\\Drums\\Default\\Hats Open.wav");
    EXPECT_EQ(normalise("MyKick", 0), "\\Samples\\Drums\\Default\\MyKick.wav");
    EXPECT_EQ(normalise("Kick.wav", 0), "\\Samples\\Drums\\Default\\Kick.wav");
    EXPECT_EQ(normalise("Loop.aiff", 0), "\\Samples\\Drums\\Default\\Loop.aiff");
    EXPECT_EQ(normalise("\\Samples\\Mine\\Kick.wav", 0), "\\Samples\\Mine\\Kick.wav");
    EXPECT_EQ(normalise("/x/Snare.aiff", 1), "/x/Snare.aiff");
    EXPECT_EQ(normalise("C:\\Drums\\Kick.wav", 1), "C:\\Drums\\Kick.wav");
    EXPECT_EQ(normalise("\\Samples\\Kick", 1), "\\Samples\\Drums\\Default\\\\Samples\\Kick.wav");

    // A 256-byte field without a terminator stays inside its bounds.
    std::string field(256, 'a');
    char out[300];
    drum_samples::normalisePadName(field.data(), field.size(), 0, out, sizeof(out));
    EXPECT_EQ(std::string(out), std::string(drum_samples::kDefaultFolder) + field + ".wav");
    char tiny[8];
    drum_samples::normalisePadName("Kick", 5, 0, tiny, sizeof(tiny));
    EXPECT_STREQ(tiny, "\\Sample");
}
