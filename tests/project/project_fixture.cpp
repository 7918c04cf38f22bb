#include "tests/project/project_fixture.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "modulehost/cplugin.h"
#include "modulehost/module_registry.h"
#include "modules/synth_module.h"
#include "project/project_loader.h"

LoaderTestHost* LoaderTestHost::current = nullptr;
std::vector<ProbeSynth::Received> ProbeSynth::received;
float ProbeSynth::level[6] = {0, 0, 0, 0, 0, 0};
double ProbeSynth::sineHz = 0.0;
double ProbeSynth::phase = 0.0;
int ProbeSynth::sampleRate = 44100;

LoaderTestHost::LoaderTestHost() {
    current = this;
    std::memset(&time, 0, sizeof(time));
    time.sampleRate = 44100.0;
    time.tempo = 120.0;
    time.timeSigNumerator = 4;
    time.timeSigDenominator = 4;
    time.flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
    ProbeSynth::received.clear();
    for (float& l : ProbeSynth::level) l = 0.0f;
    ProbeSynth::sineHz = 0.0;
    ProbeSynth::phase = 0.0;
}

LoaderTestHost::~LoaderTestHost() { current = nullptr; }

VstIntPtr VSTCALLBACK LoaderTestHost::callback(AEffect* /*effect*/, VstInt32 opcode, VstInt32 /*index*/,
                                               VstIntPtr /*value*/, void* /*ptr*/, float /*opt*/) {
    if (current == nullptr) return 0;
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&current->time);
    return 0;
}

TestEngine::TestEngine() {
    effect = new Effect(&LoaderTestHost::callback);
    // Construction loads the current program's built-in project; each test
    // builds its own from a clean slate.
    load("");
    effect->masterLevel = 127.0f;
    effect->crossfade = 0.0f;
    effect->synchroSwitch = 0.0f;
    effect->liveTransposition = 0.0f;
    effect->projectTempo = 120.0f;
    effect->arpeggiatorSwitch = 1.0f;
    effect->playSwitch = 1.0f;
    effect->muteKeySwitch = 0.0f;
    effect->playController = 0.0f;
}

TestEngine::~TestEngine() {
    AEffect* e = effect->getAeffect();
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

void TestEngine::load(const std::string& text) {
    ProjectLoadOptions options;
    options.settleMs = 0;
    loadProject(*effect, reinterpret_cast<const uint8_t*>(text.data()), text.size(), options);
}

void TestEngine::render(int frames) {
    left.assign(static_cast<size_t>(frames), 0.0f);
    right.assign(static_cast<size_t>(frames), 0.0f);
    float* outs[2] = {left.data(), right.data()};
    AEffect* e = effect->getAeffect();
    e->processReplacing(e, nullptr, outs, frames);
    host.time.samplePos += frames;
}

void TestEngine::send(uint8_t status, uint8_t data1, uint8_t data2) {
    VstMidiEvent event;
    std::memset(&event, 0, sizeof(event));
    event.type = kVstMidiType;
    event.byteSize = sizeof(event);
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
    AEffect* e = effect->getAeffect();
    e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
}

std::string line(const std::string& key, const std::vector<std::string>& values) {
    std::string out = key + ";";
    for (const std::string& v : values) out += v + ";";
    return out + "\r\n";
}

namespace {

void putBigEndian(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

std::string chunkOf(const std::function<void(AudioEffectX&)>& prepare, bool isPreset) {
    std::unique_ptr<AudioEffectX> synth(createSynthI(nullptr));
    prepare(*synth);
    void* data = nullptr;
    const VstInt32 size = synth->getChunk(&data, isPreset);
    std::string bytes(static_cast<const char*>(data), static_cast<size_t>(size));
    delete[] static_cast<char*>(data);
    return bytes;
}

}  // namespace

std::string synthBankImage(const std::function<void(AudioEffectX&)>& prepare) {
    const std::string chunk = chunkOf(prepare, false);
    std::string image = "CcnK";
    putBigEndian(image, 0);
    image += "FBCh";
    putBigEndian(image, 1);
    image += "451t";
    putBigEndian(image, 1);
    putBigEndian(image, 128);
    image.append(128, '\0');
    putBigEndian(image, static_cast<uint32_t>(chunk.size()));
    return image + chunk;
}

std::string synthProgramChunk(const std::function<void(AudioEffectX&)>& prepare) { return chunkOf(prepare, true); }

std::string presetBlock(const std::string& key, const std::string& image, int presetIndex) {
    char size[16];
    std::snprintf(size, sizeof(size), "%10d", static_cast<int>(image.size()));
    std::string out = line(key, {"START"}) + line("PRESET_SIZE", {size}) + image + "\r\n";
    if (presetIndex >= 0) out += line("PRESET_INDEX", {std::to_string(presetIndex)});
    return out + line("PRESET", {"END"});
}

std::string synthTrack(const std::string& body) {
    return line("VERSION", {"1.66"}) + line("PLUGIN", {"\\PluginInstruments\\KavoSynthI.dll"}) + body +
           line("PLUGIN", {"END"});
}

ProbeSynth::ProbeSynth(audioMasterCallback audioMaster, int outputs, VstInt32 uniqueId)
    : KavoModule(audioMaster, 1, 1,
                 ModuleInfo{"Probe synth", "KAVO probe synth", uniqueId, 0, outputs, true}) {}

VstInt32 ProbeSynth::processEvents(VstEvents* events) {
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        auto* e = reinterpret_cast<VstMidiEvent*>(events->events[i]);
        received.push_back(Received{e->deltaFrames,
                                    {static_cast<uint8_t>(e->midiData[0]), static_cast<uint8_t>(e->midiData[1]),
                                     static_cast<uint8_t>(e->midiData[2])}});
    }
    return 1;
}

void ProbeSynth::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    const double step = 2.0 * 3.14159265358979323846 * sineHz / sampleRate;
    for (VstInt32 i = 0; i < frames; ++i) {
        const float s = sineHz > 0.0 ? static_cast<float>(std::sin(phase)) : 1.0f;
        phase += step;
        for (VstInt32 o = 0; o < cEffect.numOutputs; ++o) outputs[o][i] = level[o] * s;
    }
}

namespace {

class ProbeSend : public KavoModule {
public:
    explicit ProbeSend(audioMasterCallback m)
        : KavoModule(m, 1, 1, ModuleInfo{"Probe send", "KAVO probe send", vstFourCC('p', 's', 'n', 'd'), 2, 2, false}) {}
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        for (VstInt32 i = 0; i < frames; ++i) {
            outputs[0][i] = inputs[0][i];
            outputs[1][i] = inputs[1][i];
        }
    }
};

template <int Outputs, bool Drum>
AudioEffectX* createProbe(audioMasterCallback m) {
    return new ProbeSynth(m, Outputs, Drum ? vstFourCC('1', '6', 'c', 'x') : vstFourCC('p', 'r', 'b', 's'));
}
AudioEffectX* createProbeSend(audioMasterCallback m) { return new ProbeSend(m); }

}  // namespace

CInstrument& addProbeTrack(TestEngine& engine, int outputs, bool drumId) {
    ModuleFactory factory = outputs == 1   ? &createProbe<1, false>
                            : outputs == 6 ? (drumId ? &createProbe<6, true> : &createProbe<6, false>)
                                           : &createProbe<2, false>;
    const ModuleClassEntry entry{"KavoProbeSynth", factory, drumId};
    auto track = std::make_unique<CInstrument>(*engine.effect);
    CInstrument& t = *track;
    t.mainSlot().createModule(*engine.effect, "\\KavoProbeSynth.dll", entry, SlotKind::Instrument, &t);
    t.keyboardOn = 1.0f;
    engine.project().tracks.push_back(std::move(track));
    return t;
}

void addProbeSend(TestEngine& engine, int send) {
    const ModuleClassEntry entry{"KavoProbeSend", &createProbeSend, false};
    engine.project().sendSlots[send].createModule(*engine.effect, "\\KavoProbeSend.dll", entry, SlotKind::Effect,
                                                  nullptr);
}
