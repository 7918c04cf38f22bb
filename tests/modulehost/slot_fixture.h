#pragma once

#include <gtest/gtest.h>

#include "probe_modules.h"

class SlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe::record().reset();
        probe::record().editCounter = &owner.counter;
    }
    void TearDown() override {
        slot.unload();
        EXPECT_EQ(probe::record().liveModules, 0) << "a module was leaked";
        probe::record().reset();
    }
    bool createSynth() { return slot.createModule(owner, "\\PluginInstruments\\ProbeSynth.dll", probe::kSynthClass,
                                                  SlotKind::Instrument, &track); }
    bool createEffect() { return slot.createModule(owner, "\\PluginEffects\\ProbeEffect.dll", probe::kEffectClass,
                                                   SlotKind::Effect, &track); }

    probe::Owner owner;
    probe::Track track;
    CPlugin slot;
};
