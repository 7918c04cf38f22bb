#include <cstring>

#include "modulehost/module_host_callback.h"
#include "modulehost/module_path.h"
#include "modules/module_base.h"
#include "slot_fixture.h"

TEST(ModulePath, FileTitleIsBetweenLastSeparatorAndFollowingDot) {
    EXPECT_EQ(moduleFileTitle("\\PluginEffects\\KavoChorus.dll"), "KavoChorus");
    EXPECT_EQ(moduleFileTitle("/usr/lib/vst/KavoChorus.dll"), "KavoChorus");
    EXPECT_EQ(moduleFileTitle("C:KavoChorus.dll"), "KavoChorus");
    EXPECT_EQ(moduleFileTitle("D:\\Old.Plugins/x:KavoDelay.v2.dll"), "KavoDelay");
    EXPECT_EQ(moduleFileTitle("KavoReverb"), "KavoReverb");
    EXPECT_EQ(moduleFileTitle("folder.d\\KavoReverb"), "KavoReverb");
    EXPECT_EQ(moduleFileTitle("\\"), "");
    EXPECT_EQ(moduleFileTitle(".dll"), "");
    EXPECT_EQ(moduleFileTitle(""), "");
}

TEST(ModulePath, RootedPathsAreTakenFromThePluginFolder) {
    EXPECT_EQ(absoluteModulePath("\\fx\\KavoChorus.dll", "C:\\VST"), "C:\\VST\\fx\\KavoChorus.dll");
    EXPECT_EQ(absoluteModulePath("/fx/KavoChorus.dll", "/opt/talvex"), "/opt/talvex/fx/KavoChorus.dll");
    EXPECT_EQ(absoluteModulePath("D:\\fx\\KavoChorus.dll", "/opt/talvex"), "D:\\fx\\KavoChorus.dll");
}

TEST(ModulePath, ShortNamesMatchProductNamesExactly) {
    EXPECT_STREQ(moduleShortName("KAVO compressor"), "Compress");
    EXPECT_STREQ(moduleShortName("KAVO Limiter"), "Limiter");
    EXPECT_STREQ(moduleShortName("KAVO limiter"), "");
    EXPECT_STREQ(moduleShortName("KAVO delay "), "");
    EXPECT_STREQ(moduleShortName("KAVO Overdrive"), "");
}

TEST_F(SlotTest, CreationMakesEveryCallInOrderInsideTheEditSection) {
    ASSERT_TRUE(createSynth());
    const std::vector<VstInt32> expected = {
        effGetPlugCategory, effOpen,       effSetSampleRate,      effSetBlockSize,          effGetVendorString,
        effGetProductString, effGetVendorVersion, effGetEffectName, effCanDo, effCanDo, effCanDo, effMainsChanged,
        effGetProgramNameIndexed, effBeginSetProgram, effSetProgram, effEndSetProgram,
    };
    EXPECT_EQ(probe::opcodes(), expected);
    const auto& calls = probe::record().calls;
    // The category is asked before the renderer is excluded; everything that
    // opens and sets up the module happens with the edit counter raised.
    EXPECT_EQ(calls[0].editCounter, 0);
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_EQ(calls[i].editCounter, 1) << "call " << i;
    EXPECT_EQ(owner.counter.load(), 0);
    EXPECT_FLOAT_EQ(calls[2].opt, 48000.0f);
    EXPECT_EQ(calls[3].value, 256);
    EXPECT_EQ(calls[8].text, "receiveVstMidiEvent");
    EXPECT_EQ(calls[9].text, "receiveVstEvents");
    EXPECT_EQ(calls[10].text, "midiProgramNames");
    EXPECT_EQ(calls[11].value, 1);
    EXPECT_EQ(calls[12].index, 0);
    EXPECT_EQ(calls[14].value, 0);

    EXPECT_TRUE(slot.loaded());
    EXPECT_TRUE(slot.acceptsMidi());
    EXPECT_FALSE(slot.drumSlot());
    EXPECT_STREQ(slot.path(), "\\PluginInstruments\\ProbeSynth.dll");
    EXPECT_STREQ(slot.vendor(), "KAVO");
    EXPECT_STREQ(slot.product(), "KAVO probe synth");
    EXPECT_STREQ(slot.effectName(), "Probe synth (1.0)");
    EXPECT_STREQ(slot.programName(), "Probe 0");
    EXPECT_STREQ(slot.shortName(), "");
    EXPECT_EQ(slot.programCount(), probe::kPrograms);
    EXPECT_EQ(probe::moduleObject(slot)->getSampleRate(), 48000.0f);
}

TEST_F(SlotTest, OneOutputModuleStillGetsTwoZeroedBuffersEachWay) {
    ASSERT_TRUE(createSynth());
    ASSERT_EQ(slot.effect()->numOutputs, 1);
    ASSERT_EQ(slot.inputBufferCount(), 2);
    ASSERT_EQ(slot.outputBufferCount(), 2);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < CPlugin::kBufferFrames; ++i) {
            ASSERT_EQ(slot.inputs()[c][i], 0.0f);
            ASSERT_EQ(slot.outputs()[c][i], 0.0f);
        }
    }
}

TEST_F(SlotTest, SixOutputModuleGetsSixOutputBuffersAndTheDrumFlag) {
    ASSERT_TRUE(slot.createModule(owner, "KavoDrums", probe::kDrumClass, SlotKind::Instrument, &track));
    EXPECT_EQ(slot.outputBufferCount(), 6);
    EXPECT_EQ(slot.inputBufferCount(), 2);
    EXPECT_TRUE(slot.drumSlot());
    slot.unload();
    EXPECT_FALSE(slot.drumSlot());
}

TEST_F(SlotTest, CategoryMustFitTheSlotAndARefusedModuleIsNeverOpened) {
    EXPECT_FALSE(slot.createModule(owner, "KavoReverb", probe::kEffectClass, SlotKind::Instrument, &track));
    EXPECT_FALSE(slot.loaded());
    EXPECT_EQ(slot.effect(), nullptr);
    EXPECT_EQ(probe::opcodes(), std::vector<VstInt32>{effGetPlugCategory});
    EXPECT_EQ(probe::record().liveModules, 0);

    probe::record().calls.clear();
    EXPECT_FALSE(slot.createModule(owner, "KavoSynthI", probe::kSynthClass, SlotKind::Effect, &track));
    EXPECT_EQ(probe::opcodes(), std::vector<VstInt32>{effGetPlugCategory});
    EXPECT_EQ(probe::record().liveModules, 0);

    EXPECT_TRUE(createEffect());
    EXPECT_TRUE(slot.loaded());
}

TEST_F(SlotTest, WrongMagicAndEmptyPathsFail) {
    probe::record().badMagic = true;
    EXPECT_FALSE(createSynth());
    EXPECT_TRUE(probe::record().calls.empty());
    EXPECT_EQ(probe::record().liveModules, 0);
    probe::record().badMagic = false;

    EXPECT_FALSE(slot.createModule(owner, "", probe::kSynthClass, SlotKind::Instrument, &track));
    EXPECT_FALSE(slot.createModule(owner, nullptr, probe::kSynthClass, SlotKind::Instrument, &track));
    EXPECT_FALSE(slot.createModule(owner, "", SlotKind::Instrument, &track));
    EXPECT_FALSE(slot.createModule(owner, "\\PluginEffects\\NoSuchModule.dll", SlotKind::Effect, &track));
    EXPECT_EQ(probe::record().liveModules, 0);
    EXPECT_FALSE(slot.loaded());
}

TEST_F(SlotTest, CreatingAgainUnloadsThePreviousModuleFirst) {
    ASSERT_TRUE(createSynth());
    slot.parameterDescriptors().push_back(slot.describeParameter(1));
    probe::record().calls.clear();
    ASSERT_TRUE(createEffect());
    const auto ops = probe::opcodes();
    ASSERT_GE(ops.size(), 4u);
    EXPECT_EQ(ops[0], effMainsChanged);
    EXPECT_EQ(probe::record().calls[0].value, 0);
    EXPECT_EQ(ops[1], effEditClose);
    EXPECT_EQ(ops[2], effClose);
    EXPECT_EQ(ops[3], effGetPlugCategory);
    EXPECT_EQ(probe::record().liveModules, 1);
    EXPECT_TRUE(slot.parameterDescriptors().empty());
    EXPECT_STREQ(slot.product(), "KAVO probe effect");
}

TEST_F(SlotTest, UnloadSuspendsClosesAndReleases) {
    probe::nextInfo = probe::kEffectInfo;
    probe::nextInfo.productString = "KAVO delay";
    ASSERT_TRUE(slot.createModule(owner, "x", probe::kConfiguredClass, SlotKind::Effect, nullptr));
    EXPECT_STREQ(slot.shortName(), "Delay");
    slot.setEditIdle(true);
    probe::record().calls.clear();
    slot.unload();
    EXPECT_EQ(probe::opcodes(), (std::vector<VstInt32>{effMainsChanged, effEditClose, effClose}));
    EXPECT_EQ(probe::record().liveModules, 0);
    EXPECT_FALSE(slot.loaded());
    EXPECT_EQ(slot.outputs(), nullptr);
    EXPECT_EQ(slot.inputBufferCount(), 0);
    EXPECT_STREQ(slot.shortName(), "");
    EXPECT_FALSE(slot.editIdle());
    EXPECT_EQ(owner.counter.load(), 0);
    // A second unload has nothing to close.
    probe::record().calls.clear();
    slot.unload();
    EXPECT_TRUE(probe::record().calls.empty());
}

TEST_F(SlotTest, EmptyProductFallsBackToTheEffectName) {
    probe::nextInfo = probe::kEffectInfo;
    probe::nextInfo.productString = "";
    probe::nextInfo.effectName = "KAVO chorus";
    ASSERT_TRUE(slot.createModule(owner, "x", probe::kConfiguredClass, SlotKind::Effect, nullptr));
    EXPECT_STREQ(slot.product(), "KAVO chorus");
    EXPECT_STREQ(slot.shortName(), "Chorus");
    EXPECT_EQ(probe::count(effGetEffectName), 2);
}

TEST_F(SlotTest, EmptySlotAnswersNothing) {
    EXPECT_EQ(slot.dispatch(effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    slot.setParameter(0, 1.0f);
    EXPECT_EQ(slot.getParameter(0), 0.0f);
    slot.setMappedParameter(0, 1.0f);
    EXPECT_FALSE(slot.selectProgram(0));
    EXPECT_FALSE(slot.loadProgramChunk("abcd", 4));
    EXPECT_FALSE(slot.canProcessReplacing());
    slot.processOwnBuffers(64);
    slot.deliverEvents(64, 44100);
}

TEST_F(SlotTest, DispatchForwardsButNeverClosesBehindTheSlot) {
    ASSERT_TRUE(createSynth());
    EXPECT_EQ(slot.dispatch(effGetVstVersion, 0, 0, nullptr, 0.0f), 2400);
    EXPECT_EQ(slot.dispatch(effClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(probe::record().liveModules, 1);
    EXPECT_TRUE(slot.loaded());
}

TEST_F(SlotTest, MappedParameterUsesTheDescriptorsRangeAndParameter) {
    ASSERT_TRUE(createEffect());
    ParameterDescriptor d = slot.describeParameter(2);
    EXPECT_STREQ(d.name, "Param 2");
    EXPECT_STREQ(d.label, "dB");
    EXPECT_STREQ(d.display, "0.02");
    EXPECT_FLOAT_EQ(d.value, 0.02f);
    EXPECT_EQ(d.kind, kParameterKindMainModule);
    d.minimum = 0.2f;
    d.maximum = 0.6f;
    slot.parameterDescriptors().push_back(d);

    slot.setMappedParameter(0, 0.5f);
    EXPECT_FLOAT_EQ(slot.getParameter(2), 0.4f);
    EXPECT_FLOAT_EQ(slot.getParameter(0), 0.0f);
    slot.setMappedParameter(0, 1.0f);
    EXPECT_FLOAT_EQ(slot.getParameter(2), 0.6f);

    // Descriptor numbers outside the list change nothing.
    slot.setMappedParameter(1, 0.0f);
    slot.setMappedParameter(-1, 0.0f);
    EXPECT_FLOAT_EQ(slot.getParameter(2), 0.6f);
    EXPECT_FLOAT_EQ(slot.getParameter(1), 0.01f);
    EXPECT_FLOAT_EQ(slot.getParameter(0), 0.0f);
}

TEST_F(SlotTest, InstrumentRendersFromItsOwnBuffersAndInsertsRenderInPlace) {
    ASSERT_TRUE(createSynth());
    CPlugin insert;
    ASSERT_TRUE(insert.createModule(owner, "ins", probe::kEffectClass, SlotKind::Effect, &track));
    ASSERT_TRUE(slot.canProcessReplacing());

    slot.processOwnBuffers(100);
    EXPECT_EQ(slot.outputs()[0][99], 0.5f);
    EXPECT_EQ(slot.outputs()[0][100], 0.0f);  // only the frames asked for

    insert.processInPlace(slot.outputs(), 100);
    EXPECT_EQ(slot.outputs()[0][0], 1.0f);
    EXPECT_EQ(slot.outputs()[1][0], 0.0f);  // the synth's second buffer held silence
    EXPECT_EQ(insert.outputs()[0][0], 0.0f);

    // Master inserts read other buffers and write their own.
    insert.processInto(slot.outputs(), 10);
    EXPECT_EQ(insert.outputs()[0][9], 2.0f);
    EXPECT_EQ(insert.outputs()[0][10], 0.0f);

    // Longer blocks than the buffers are cut to the buffers' length.
    slot.processOwnBuffers(CPlugin::kBufferFrames + 500);
    EXPECT_EQ(slot.outputs()[0][CPlugin::kBufferFrames - 1], 0.5f);
    insert.unload();
}
