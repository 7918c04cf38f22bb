// Values no host should send, sent anyway: NaN, infinities and huge or
// negative numbers through every parameter of every registered module,
// through their preset and bank chunks and through parameter bank images.
// Whatever arrives, the modules keep rendering finite audio and report
// parameters inside their ranges.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "modulehost/module_registry.h"
#include "modules/drums_params.h"
#include "modules/sampler_params.h"
#include "slot_fixture.h"

namespace {

constexpr VstInt32 kFrames = 128;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kHostile[] = {kNaN, kInf, -kInf, 1.0e30f, -1.0e30f, -0.5f, 7.0f};

std::string describe(float v) {
    if (std::isnan(v)) return "NaN";
    return std::to_string(v);
}

class HostileValues : public SlotTest, public ::testing::WithParamInterface<const ModuleClassEntry*> {
protected:
    void SetUp() override {
        SlotTest::SetUp();
        owner.counter = 1;  // creations inside an edit section, as the loader makes them
        const ModuleClassEntry& entry = *GetParam();
        instrument = slot.createModule(owner, entry.fileTitle, entry, SlotKind::Instrument, &track);
        if (!instrument) {
            ASSERT_TRUE(slot.createModule(owner, entry.fileTitle, entry, SlotKind::Effect, &track));
        }
        owner.counter = 0;
        effect = slot.effect();
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        owner.counter = 0;
        SlotTest::TearDown();
    }

    // One block: a held note into an instrument (every part and pad of the
    // channel answers it), a sine into an effect. False at the first sample
    // that is not finite.
    bool renderFinite(std::string& where) {
        if (instrument) {
            if (!noteOn_) {
                for (int key : {36, 38, 48, 60, 72}) slot.sendEvent(kImmediateEvents, 0, 0x90, key, 100);
                slot.deliverEvents(kFrames, 44100);
                noteOn_ = true;
            }
        } else {
            float* const* in = slot.inputs();
            for (int c = 0; c < slot.inputBufferCount(); ++c)
                for (VstInt32 i = 0; i < kFrames; ++i)
                    in[c][i] = 0.5f * std::sin(0.07f * static_cast<float>(phase_ + i) + static_cast<float>(c));
            phase_ += kFrames;
        }
        slot.processOwnBuffers(kFrames);
        float* const* out = slot.outputs();
        for (int c = 0; c < effect->numOutputs; ++c)
            for (VstInt32 i = 0; i < kFrames; ++i)
                if (!std::isfinite(out[c][i])) {
                    where = "output " + std::to_string(c) + " frame " + std::to_string(i) + " = " +
                            describe(out[c][i]);
                    return false;
                }
        return true;
    }

    // getParameter answers a value inside the parameter's range: 0..1, the
    // sampler's split note a MIDI note.
    // The drum pads' random preset is a number the module only stores
    // and shows: any finite value.
    bool presetNumber(VstInt32 index) const {
        return GetParam()->drumSlot && index % drums::kParamsPerPad == drums::kRandomPreset;
    }
    float rangeTop(VstInt32 index) const {
        const bool note = std::strcmp(GetParam()->fileTitle, "KavoSampler") == 0 &&
                          index % sampler::kPartParams == sampler::kSplitNote;
        return note ? 127.0f : 1.0f;
    }
    bool parameterInRange(VstInt32 index) {
        const float v = effect->getParameter(effect, index);
        if (presetNumber(index)) return std::isfinite(v);
        return std::isfinite(v) && v >= 0.0f && v <= rangeTop(index);
    }

    std::vector<uint8_t> chunk(bool isPreset) {
        void* data = nullptr;
        const auto size = static_cast<size_t>(effect->dispatcher(effect, effGetChunk, isPreset ? 1 : 0, 0, &data, 0.0f));
        std::vector<uint8_t> bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        delete[] static_cast<char*>(data);
        return bytes;
    }

    bool instrument = false;
    AEffect* effect = nullptr;

private:
    bool noteOn_ = false;
    int phase_ = 0;
};

std::vector<const ModuleClassEntry*> registered() {
    std::vector<const ModuleClassEntry*> out;
    int count = 0;
    const ModuleClassEntry* entries = moduleClasses(count);
    for (int i = 0; i < count; ++i)
        if (entries[i].create != nullptr) out.push_back(&entries[i]);
    return out;
}

}  // namespace

TEST_P(HostileValues, EveryParameterTakesAnyFloatAndTheAudioStaysFinite) {
    std::string where;
    ASSERT_TRUE(renderFinite(where)) << where;
    for (VstInt32 index = 0; index < effect->numParams; ++index) {
        const float before = effect->getParameter(effect, index);
        for (const float v : kHostile) {
            effect->setParameter(effect, index, v);
            ASSERT_TRUE(parameterInRange(index))
                << "parameter " << index << " set to " << describe(v) << " reads "
                << describe(effect->getParameter(effect, index));
            ASSERT_TRUE(renderFinite(where)) << "parameter " << index << " set to " << describe(v) << ": " << where;
        }
        effect->setParameter(effect, index, before);
    }
}

TEST_P(HostileValues, NaNTakesTheDefaultAndInfinitiesTheEndsOfTheRange) {
    // Parameters whose range is 0..1 and whose fresh value is read back as
    // set (selectors and step numbers are quantised, the split note is not
    // a 0..1 value).
    for (VstInt32 index = 0; index < effect->numParams; ++index) {
        const float fresh = effect->getParameter(effect, index);
        effect->setParameter(effect, index, 0.75f);
        const float set = effect->getParameter(effect, index);
        if (set != 0.75f || presetNumber(index)) continue;
        effect->setParameter(effect, index, kInf);
        EXPECT_EQ(effect->getParameter(effect, index), rangeTop(index)) << "parameter " << index;
        effect->setParameter(effect, index, -kInf);
        EXPECT_EQ(effect->getParameter(effect, index), 0.0f) << "parameter " << index;
        effect->setParameter(effect, index, kNaN);
        EXPECT_EQ(effect->getParameter(effect, index), fresh) << "parameter " << index;
    }
}

TEST_P(HostileValues, PoisonedPresetAndBankChunksAreRepaired) {
    for (const bool isPreset : {true, false}) {
        const std::vector<uint8_t> clean = chunk(isPreset);
        ASSERT_FALSE(clean.empty());
        for (const float v : kHostile) {
            // Every word that holds a value of 0..1 (parameters, and the
            // zero padding of names) becomes the hostile value.
            std::vector<uint8_t> poisoned = clean;
            int words = 0;
            for (size_t at = 0; at + 4 <= poisoned.size(); at += 4) {
                float x;
                std::memcpy(&x, &poisoned[at], 4);
                if (!(x >= 0.0f && x <= 1.0f)) continue;
                std::memcpy(&poisoned[at], &v, 4);
                ++words;
            }
            ASSERT_GT(words, 0);
            ASSERT_EQ(effect->dispatcher(effect, effSetChunk, isPreset ? 1 : 0, static_cast<VstIntPtr>(poisoned.size()),
                                         poisoned.data(), 0.0f),
                      1)
                << (isPreset ? "preset" : "bank") << " chunk with " << describe(v);
            effect->dispatcher(effect, effSetProgram, 0, 0, nullptr, 0.0f);
            for (VstInt32 index = 0; index < effect->numParams; ++index)
                ASSERT_TRUE(parameterInRange(index))
                    << (isPreset ? "preset" : "bank") << " chunk with " << describe(v) << ": parameter " << index
                    << " reads " << describe(effect->getParameter(effect, index));
            std::string where;
            ASSERT_TRUE(renderFinite(where)) << (isPreset ? "preset" : "bank") << " chunk with " << describe(v) << ": "
                                             << where;
        }
    }
}

TEST_P(HostileValues, ParameterBankImagesSkipValuesThatAreNotFinite) {
    std::vector<probe::ProgramImage> programs(1);
    programs[0].name = "Hostile";
    for (VstInt32 index = 0; index < effect->numParams; ++index) programs[0].values.push_back(kNaN);
    std::vector<float> before;
    for (VstInt32 index = 0; index < effect->numParams; ++index) before.push_back(effect->getParameter(effect, index));
    owner.counter = 1;
    const auto image = probe::programBankImage(effect->uniqueID, programs);
    ASSERT_TRUE(slot.loadStateImage(image.data(), image.size(), static_cast<int64_t>(image.size())));
    owner.counter = 0;
    for (VstInt32 index = 0; index < effect->numParams; ++index)
        EXPECT_EQ(effect->getParameter(effect, index), before[static_cast<size_t>(index)]) << "parameter " << index;

    for (float& value : programs[0].values) value = -kInf;
    owner.counter = 1;
    const auto low = probe::programBankImage(effect->uniqueID, programs);
    ASSERT_TRUE(slot.loadStateImage(low.data(), low.size(), static_cast<int64_t>(low.size())));
    owner.counter = 0;
    for (VstInt32 index = 0; index < effect->numParams; ++index) ASSERT_TRUE(parameterInRange(index)) << index;
    std::string where;
    ASSERT_TRUE(renderFinite(where)) << where;
}

TEST_P(HostileValues, SamplesThatAreNotFiniteDoNotStayInTheEffect) {
    if (instrument) return;  // instruments take no input
    // Feedback at the top, where the effect has one.
    for (VstInt32 index = 0; index < effect->numParams; ++index) {
        char name[64] = {};
        effect->dispatcher(effect, effGetParamName, index, 0, name, 0.0f);
        if (std::strcmp(name, "Feedback") == 0 || std::strcmp(name, "Size") == 0) effect->setParameter(effect, index, 1.0f);
    }
    std::string where;
    ASSERT_TRUE(renderFinite(where)) << where;
    // One block with a NaN and an infinity in it.
    float* const* in = slot.inputs();
    for (int c = 0; c < slot.inputBufferCount(); ++c) {
        for (VstInt32 i = 0; i < kFrames; ++i) in[c][i] = 0.25f;
        in[c][10] = kNaN;
        in[c][20] = kInf;
    }
    slot.processOwnBuffers(kFrames);
    // Some seconds later nothing of them is left.
    for (int block = 0; block < 2000; ++block) renderFinite(where);
    for (int block = 0; block < 20; ++block) ASSERT_TRUE(renderFinite(where)) << "block " << block << ": " << where;
}

INSTANTIATE_TEST_SUITE_P(Modules, HostileValues, ::testing::ValuesIn(registered()),
                         [](const ::testing::TestParamInfo<const ModuleClassEntry*>& info) {
                             return std::string(info.param->fileTitle);
                         });
