// The plug-in's own sample library as the sampler meets it, the module's
// identity, and the real-time promise of a program change.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/support/allocation_counter.h"
#include "tests/sampler/sampler_test_host.h"

using namespace sampler;
using namespace sampler_test;

namespace {

const char* const kDrumPads[] = {"Kick.wav",    "Kick2.wav",   "Snare 1.wav", "Snare 2.wav", "Tom 1.wav",   "Tom 2.wav",
                                 "Claps.wav",   "Bongo 1.wav", "Bongo 2.wav", "Bongo 3.wav", "Crash 1.wav", "Crash 2.wav",
                                 "Ride.wav",    "Hats Open.wav", "Hats Close.wav", "Block.wav"};

const char* const kMelodic[] = {"EPiano_C3.wav", "EPiano_C4.wav", "EPiano_C5.wav", "Pluck_C3.aif", "Pluck_C4.aif",
                                "Pluck_C5.aif",  "Bass_E1.wav",   "Bass_E2.wav",   "Bass_E3.wav",  "Pad_C3.wav",
                                "Pad_C4.wav",    "Pad_C5.wav",    "Bell_C4.aif",   "Bell_C5.aif",  "Bell_C6.aif"};

double meanOf(const DecodedSample& s) {
    double sum = 0.0;
    for (int16_t v : s.samples) sum += v;
    return sum / static_cast<double>(s.samples.size()) / 32768.0;
}

}  // namespace

TEST(SamplerLibrary, TheBuiltInStoreHoldsTheDrumPadsAndMelodicSamples) {
    const SampleLibrary& library = SampleLibrary::shared();
    for (const char* name : kDrumPads) {
        const auto s = library.find(name, SampleChannels::AsStored);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_GT(s->frameCount, 4000u) << name;
        EXPECT_EQ(s->sampleRateHz, 44100.0f) << name;
        EXPECT_NE(library.find(name, SampleChannels::MonoMix), nullptr) << name;  // the drum machine's form
        // Silent at both ends (no click at start or stop) and without offset.
        EXPECT_EQ(s->samples.front(), 0) << name;
        EXPECT_EQ(s->samples.back(), 0) << name;
        EXPECT_LT(std::fabs(meanOf(*s)), 0.001) << name;
    }
    for (const char* name : kMelodic) {
        const auto s = library.find(name, SampleChannels::AsStored);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_GT(s->frameCount, 20000u) << name;
        EXPECT_EQ(s->samples.back(), 0) << name;
    }
    // The sustaining instruments carry a loop inside the sample.
    for (const char* name : {"EPiano_C4.wav", "Bass_E2.wav", "Pad_C4.wav"}) {
        const auto s = library.find(name, SampleChannels::AsStored);
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(s->hasFileLoop) << name;
        EXPECT_LT(s->loopEndFrame, s->frameCount) << name;
        EXPECT_GT(s->loopEndFrame, s->loopStartFrame + 1000) << name;
    }
}

TEST(SamplerLibrary, ABuiltInSamplePlaysAtItsRootPitch) {
    SamplerHost h(44100.0f, nullptr);  // the plug-in's own store
    h.load(0, "Pad_C4.wav");
    ASSERT_NE(h.sampler().part(0).sample.frameCount, 0u);
    EXPECT_TRUE(h.sampler().part(0).sample.stereo);
    h.set(0, kSplitNote, 60.0f);
    h.noteOn(72);
    std::vector<float> right;
    const auto left = h.render(44100, &right);
    EXPECT_GT(rms(left, 30000, 44100), 0.05);
    EXPECT_GT(rms(right, 30000, 44100), 0.05);
    // An octave up: the fundamental of C5, 523.25 Hz, dominates the band.
    const double pi = 3.14159265358979;
    auto amplitude = [&](double hz) {
        double s = 0.0, c = 0.0;
        for (size_t i = 30000; i < 44100; ++i) {
            s += left[i] * std::sin(2.0 * pi * hz * i / 44100.0);
            c += left[i] * std::cos(2.0 * pi * hz * i / 44100.0);
        }
        return std::sqrt(s * s + c * c);
    };
    EXPECT_GT(amplitude(523.25), 4.0 * amplitude(261.63));
    EXPECT_GT(amplitude(523.25), 4.0 * amplitude(493.88));
}

TEST(SamplerLibrary, ProgramChangesOnTheAudioThreadNeitherDecodeNorAllocate) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    h.load(1, "Sine440.wav");
    h.dispatch(effSetProgram, 0, 1);
    h.load(0, "One.wav");
    h.load(3, "Three.wav");
    h.dispatch(effSetProgram, 0, 0);
    h.noteOn(36);
    // Event lists built before counting.
    std::vector<VstMidiEvent> events(2);
    std::vector<char> list(sizeof(VstEvents) + 2 * sizeof(VstEvent*));
    auto* ve = reinterpret_cast<VstEvents*>(list.data());
    ve->numEvents = 2;
    for (int i = 0; i < 2; ++i) {
        std::memset(&events[i], 0, sizeof(VstMidiEvent));
        events[i].type = kVstMidiType;
        events[i].byteSize = sizeof(VstMidiEvent);
        events[i].deltaFrames = 10;
        ve->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
    }
    events[0].midiData[0] = static_cast<char>(0xC0);
    events[0].midiData[1] = 1;
    events[1].midiData[0] = static_cast<char>(0x90);
    events[1].midiData[1] = 40;
    events[1].midiData[2] = 100;
    std::vector<float> l(512), r(512);
    float* outs[2] = {l.data(), r.data()};

    const long before = test_alloc::allocationsOnThisThread();
    h.dispatch(effProcessEvents, 0, 0, ve);
    h.fx()->processReplacing(h.fx(), nullptr, outs, 512);
    const double newNote = peak(l, 100, 512);
    h.dispatch(effSetProgram, 0, 0);
    h.dispatch(effSetProgram, 0, 1);
    h.fx()->processReplacing(h.fx(), nullptr, outs, 512);
    EXPECT_EQ(test_alloc::allocationsOnThisThread() - before, 0);
    EXPECT_STREQ(h.sampler().partFileName(3), "Three.wav");
    EXPECT_NE(h.sampler().part(3).sample.frameCount, 0u);
    EXPECT_NEAR(newNote * 32768.0, 3000.0, 1.0);  // the new program's note sounds
}

TEST(SamplerIdentity, AnswersAsTheModuleTableSays) {
    SamplerHost h;
    AEffect* fx = h.fx();
    EXPECT_EQ(fx->numParams, 512);
    EXPECT_EQ(fx->numPrograms, 8);
    EXPECT_EQ(fx->numInputs, 0);
    EXPECT_EQ(fx->numOutputs, 2);
    EXPECT_EQ(fx->uniqueID, ('p' << 24) | ('0' << 16) | ('g' << 8) | '8');
    EXPECT_EQ(fx->flags & (effFlagsIsSynth | effFlagsProgramChunks | effFlagsCanReplacing),
              effFlagsIsSynth | effFlagsProgramChunks | effFlagsCanReplacing);
    EXPECT_EQ(h.dispatch(effGetPlugCategory), kPlugCategSynth);
    char text[256] = {};
    h.dispatch(effGetEffectName, 0, 0, text);
    EXPECT_STREQ(text, "KAVO Sampler (1.46)");
    h.dispatch(effGetProductString, 0, 0, text);
    EXPECT_STREQ(text, "KAVO Sampler");
    h.dispatch(effGetVendorString, 0, 0, text);
    EXPECT_STREQ(text, "KAVO");
    char yes[] = "receiveVstMidiEvent", no[] = "midiProgramNames", other[] = "receiveVstMidiEvents";
    EXPECT_EQ(h.dispatch(effCanDo, 0, 0, yes), 1);
    EXPECT_EQ(h.dispatch(effCanDo, 0, 0, no), 0);
    EXPECT_EQ(h.dispatch(effCanDo, 0, 0, other), -1);
    VstPinProperties pin{};
    EXPECT_EQ(h.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_EQ(h.dispatch(effGetOutputProperties, 2, 0, &pin), 0);
}

TEST(SamplerIdentity, ParameterNamesAndDisplays) {
    SamplerHost h;
    auto name = [&](int index) {
        char text[64] = {};
        h.dispatch(effGetParamName, index, 0, text);
        return std::string(text);
    };
    auto display = [&](int index) {
        char text[64] = {};
        h.dispatch(effGetParamDisplay, index, 0, text);
        return std::string(text);
    };
    EXPECT_EQ(name(0), "1 Wave");
    EXPECT_EQ(name(32 * 5 + 1), "6 Level");
    EXPECT_EQ(name(32 * 15 + 31), "16 PitchBend");
    EXPECT_EQ(name(20), "1 WaveAttackVelocity");
    EXPECT_EQ(name(18), "1 ");
    h.load(2, "Ramp.wav");
    EXPECT_EQ(display(64), "Ramp.wav");
    h.set(0, kPan, 0.25f);
    EXPECT_EQ(display(kPan), "-0.50");
    EXPECT_EQ(display(kTune), "0.00");
    EXPECT_EQ(display(kLevel), "0.77");
    EXPECT_EQ(display(kFilterFreq), "16000Hz");
    h.set(0, kFilterFreq, 0.0f);
    EXPECT_EQ(display(kFilterFreq), "10Hz");
    EXPECT_EQ(display(kSplitNote), "");
    EXPECT_FLOAT_EQ(h.get(0, kSplitNote), 36.0f);
    EXPECT_FLOAT_EQ(h.get(7, kSplitNote), 43.0f);
}

#ifdef TALVEX_SAMPLEGEN
// The committed library is what the generator makes today, byte for byte.
TEST(SamplerLibrary, TheCommittedLibraryMatchesTheGenerator) {
    const std::string folder = ::testing::TempDir() + "sampler_regen";
    const std::string command = std::string("rm -rf '") + folder + "' && mkdir -p '" + folder + "' && '" +
                                TALVEX_SAMPLEGEN + "' '" + folder + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string committed = std::string(TALVEX_RESOURCES) + "/samples/";
    const auto index = read(committed + "index.txt");
    ASSERT_FALSE(index.empty());
    EXPECT_EQ(read(folder + "/samples/index.txt"), index);
    std::string key;
    int entries = 0;
    for (char c : index) {
        if (c != '\n') {
            key += c;
            continue;
        }
        const auto made = read(folder + "/samples/store/" + key + ".pak");
        EXPECT_FALSE(made.empty()) << key;
        EXPECT_EQ(made, read(committed + "store/" + key + ".pak")) << key;
        key.clear();
        ++entries;
    }
    EXPECT_EQ(entries, 51);
}
#endif
