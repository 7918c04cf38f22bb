#include "tests/host/test_host_fixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "project/project_loader.h"

#include "modulehost/cplugin.h"
#include "project/project.h"
#include "track/instrument.h"

TestHost* TestHost::current = nullptr;
std::vector<ProbeInstrument::Received> ProbeInstrument::received;
float ProbeInstrument::outputLevel = 0.0f;
const ModuleInfo ProbeInstrument::kInfo{"Probe instrument", "KAVO probe", vstFourCC('p', 'r', 'b', 'i'), 0, 2, true};

TestHost::TestHost() {
    current = this;
    std::memset(&time, 0, sizeof(time));
    time.sampleRate = 44100.0;
    time.tempo = 120.0;
    time.timeSigNumerator = 4;
    time.timeSigDenominator = 4;
    time.flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
    ProbeInstrument::received.clear();
    ProbeInstrument::outputLevel = 0.0f;
}

TestHost::~TestHost() { current = nullptr; }

VstIntPtr VSTCALLBACK TestHost::callback(AEffect* /*effect*/, VstInt32 opcode, VstInt32 index, VstIntPtr /*value*/,
                                         void* /*ptr*/, float opt) {
    TestHost* host = current;
    if (host == nullptr) return 0;
    switch (opcode) {
        case audioMasterVersion:
            return host->version;
        case audioMasterGetTime:
            return host->giveTimeInfo ? reinterpret_cast<VstIntPtr>(&host->time) : 0;
        case audioMasterAutomate:
            host->automation.emplace_back(index, opt);
            return 0;
        default:
            return 0;
    }
}

ProbeInstrument::ProbeInstrument(audioMasterCallback audioMaster) : KavoModule(audioMaster, 1, 1, kInfo) {}

VstInt32 ProbeInstrument::processEvents(VstEvents* events) {
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        auto* e = reinterpret_cast<VstMidiEvent*>(events->events[i]);
        received.push_back(Received{e->deltaFrames,
                                    {static_cast<uint8_t>(e->midiData[0]), static_cast<uint8_t>(e->midiData[1]),
                                     static_cast<uint8_t>(e->midiData[2])}});
    }
    return 1;
}

void ProbeInstrument::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    for (VstInt32 i = 0; i < frames; ++i) outputs[0][i] = outputs[1][i] = outputLevel;
}

namespace {
AudioEffectX* createProbe(audioMasterCallback audioMaster) { return new ProbeInstrument(audioMaster); }
const ModuleClassEntry kProbeClass{"KavoProbe", &createProbe, false};
}  // namespace

CInstrument& addModuleTrack(Effect& effect, const char* path, const ModuleClassEntry* entry) {
    auto track = std::make_unique<CInstrument>(effect);
    CInstrument& t = *track;
    if (entry != nullptr)
        t.mainSlot().createModule(effect, path, *entry, SlotKind::Instrument, &t);
    else
        t.mainSlot().createModule(effect, path, SlotKind::Instrument, &t);
    t.keyboardOn = 1.0f;
    effect.project()->tracks.push_back(std::move(track));
    return t;
}

CInstrument& addProbeTrack(Effect& effect) { return addModuleTrack(effect, "\\KavoProbe.dll", &kProbeClass); }

int keysLeftOn() {
    std::array<bool, 128> on{};
    for (const auto& r : ProbeInstrument::received) {
        const int type = r.data[0] & 0xF0;
        if (type == 0x90) on[r.data[1]] = r.data[2] != 0;
        if (type == 0x80) on[r.data[1]] = false;
        if (type == 0xB0 && r.data[1] == 123) on.fill(false);
    }
    int n = 0;
    for (bool b : on) n += b ? 1 : 0;
    return n;
}

std::vector<char> makeEvents(const std::vector<VstMidiEvent>& events, std::vector<VstMidiEvent>& storage) {
    storage = events;
    std::vector<char> bytes(sizeof(VstEvents) + sizeof(VstEvent*) * events.size());
    auto* list = reinterpret_cast<VstEvents*>(bytes.data());
    list->numEvents = static_cast<VstInt32>(events.size());
    for (size_t i = 0; i < storage.size(); ++i) list->events[i] = reinterpret_cast<VstEvent*>(&storage[i]);
    return bytes;
}

VstMidiEvent midiEvent(VstInt32 delta, uint8_t status, uint8_t d1, uint8_t d2) {
    VstMidiEvent e;
    std::memset(&e, 0, sizeof(e));
    e.type = kVstMidiType;
    e.byteSize = sizeof(e);
    e.deltaFrames = delta;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(d1);
    e.midiData[2] = static_cast<char>(d2);
    return e;
}

void renderBlock(Effect& effect, int frames, std::vector<float>& left, std::vector<float>& right) {
    left.assign(static_cast<size_t>(frames), 7.0f);
    right.assign(static_cast<size_t>(frames), 7.0f);
    float* outs[2] = {left.data(), right.data()};
    AEffect* e = effect.getAeffect();
    e->processReplacing(e, nullptr, outs, frames);
    if (TestHost::current != nullptr) TestHost::current->time.samplePos += frames;
}

void startEmpty(Effect& effect) {
    loadProject(effect, nullptr, 0);
    effect.masterLevel = 127.0f;
    effect.crossfade = 0.0f;
    effect.synchroSwitch = 0.0f;
    effect.liveTransposition = 0.0f;
    effect.projectTempo = 120.0f;
    effect.project()->writtenTempoBpm = 120.0f;
    effect.arpeggiatorSwitch = 1.0f;
    effect.playSwitch = 1.0f;
    effect.muteKeySwitch = 0.0f;
    effect.playController = 0.0f;
}

TestEngine::TestEngine(bool empty) {
    effect = new Effect(&TestHost::callback);
    if (empty) startEmpty(*effect);
}

TestEngine::~TestEngine() { aeffect()->dispatcher(aeffect(), effClose, 0, 0, nullptr, 0.0f); }

void TestEngine::send(const std::vector<VstMidiEvent>& events) {
    std::vector<VstMidiEvent> storage;
    auto bytes = makeEvents(events, storage);
    aeffect()->dispatcher(aeffect(), effProcessEvents, 0, 0, bytes.data(), 0.0f);
}

float TestEngine::peak() const {
    float m = 0.0f;
    for (size_t i = 0; i < left.size(); ++i) m = std::max({m, std::fabs(left[i]), std::fabs(right[i])});
    return m;
}

bool TestEngine::outputFinite() const {
    for (size_t i = 0; i < left.size(); ++i)
        if (!std::isfinite(left[i]) || !std::isfinite(right[i]) || std::fabs(left[i]) > 0.99f ||
            std::fabs(right[i]) > 0.99f)
            return false;
    return true;
}

void TestEngine::startDemonstration() {
    aeffect()->dispatcher(aeffect(), effVendorSpecific, kVendorDemoIndex, kVendorDemoValue, nullptr, 1.0f);
}
