#include "probe_modules.h"

#include <cstdio>
#include <cstring>

namespace probe {

Record& record() {
    static Record r;
    return r;
}

int count(VstInt32 opcode) {
    int n = 0;
    for (const auto& c : record().calls) n += c.opcode == opcode ? 1 : 0;
    return n;
}

std::vector<VstInt32> opcodes() {
    std::vector<VstInt32> out;
    for (const auto& c : record().calls) out.push_back(c.opcode);
    return out;
}

const ModuleInfo kSynthInfo{"Probe synth (1.0)", "KAVO probe synth", vstFourCC('p', 'r', 'S', '1'), 0, 1, true};
const ModuleInfo kEffectInfo{"Probe effect (1.0)", "KAVO probe effect", vstFourCC('p', 'r', 'E', '1'), 2, 2, false};
const ModuleInfo kDrumInfo{"Probe drums (1.0)", "KAVO probe drums", vstFourCC('p', 'r', 'D', '1'), 0, 6, true};
ModuleInfo nextInfo = kEffectInfo;

const ModuleClassEntry kSynthClass{
    "ProbeSynth", [](audioMasterCallback m) -> AudioEffectX* { return new ProbeModule(m, kSynthInfo); }, false};
const ModuleClassEntry kEffectClass{
    "ProbeEffect", [](audioMasterCallback m) -> AudioEffectX* { return new ProbeModule(m, kEffectInfo); }, false};
const ModuleClassEntry kDrumClass{
    "ProbeDrums", [](audioMasterCallback m) -> AudioEffectX* { return new ProbeModule(m, kDrumInfo); }, true};
const ModuleClassEntry kConfiguredClass{
    "ProbeConfigured", [](audioMasterCallback m) -> AudioEffectX* { return new ProbeModule(m, nextInfo); }, false};

AudioEffect* moduleObject(CPlugin& slot) {
    return slot.effect() != nullptr ? static_cast<AudioEffect*>(slot.effect()->object) : nullptr;
}

ProbeModule::ProbeModule(audioMasterCallback audioMaster, const ModuleInfo& info)
    : KavoEffectModule(audioMaster, kPrograms, kParams, info) {
    ++record().liveModules;
    for (int p = 0; p < kPrograms; ++p) {
        float values[kParams];
        for (int j = 0; j < kParams; ++j) values[j] = 0.1f * static_cast<float>(p) + 0.01f * static_cast<float>(j);
        char name[24];
        std::snprintf(name, sizeof(name), "Probe %d", p);
        storeProgram(p, values, name);
    }
    setProgram(0);
    if (record().noChunkFlag) programsAreChunks(false);
    if (record().badMagic) cEffect.magic = 0;
}

ProbeModule::~ProbeModule() { --record().liveModules; }

VstIntPtr ProbeModule::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    Call call{opcode, index, value, opt, std::string(), -1};
    if (opcode == effCanDo && ptr != nullptr) call.text = static_cast<const char*>(ptr);
    if (record().editCounter != nullptr) call.editCounter = record().editCounter->load();
    record().calls.push_back(call);
    return KavoEffectModule::dispatcher(opcode, index, value, ptr, opt);
}

VstInt32 ProbeModule::processEvents(VstEvents* events) {
    ++record().processEventsCalls;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        VstMidiEvent e;
        std::memcpy(&e, events->events[i], sizeof(e));
        record().events.push_back(e);
    }
    return KavoEffectModule::processEvents(events);
}

VstInt32 ProbeModule::canDo(char* text) {
    if (record().refuseMidi && std::strcmp(text, "receiveVstMidiEvent") == 0) return 0;
    return KavoEffectModule::canDo(text);
}

void ProbeModule::getParameterName(VstInt32 index, char* text) { std::snprintf(text, 24, "Param %d", index); }
void ProbeModule::getParameterLabel(VstInt32, char* text) { std::strcpy(text, "dB"); }
void ProbeModule::getParameterDisplay(VstInt32 index, char* text) {
    std::snprintf(text, 24, "%.2f", static_cast<double>(getParameter(index)));
}

void ProbeModule::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    for (VstInt32 c = 0; c < cEffect.numOutputs; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] = cEffect.numInputs > 0 ? 2.0f * inputs[c % cEffect.numInputs][i] : 0.5f;
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

namespace {

void putMagic(std::vector<uint8_t>& out, const char* magic) { out.insert(out.end(), magic, magic + 4); }

void putFloat(std::vector<uint8_t>& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    putBigEndian(out, bits);
}

void putBankHeader(std::vector<uint8_t>& out, const char* chunkMagic, const char* format, VstInt32 version,
                   VstInt32 pluginId, VstInt32 programs) {
    putMagic(out, chunkMagic);
    putBigEndian(out, 0);  // byte size, as the projects write it
    putMagic(out, format);
    putBigEndian(out, static_cast<uint32_t>(version));
    putBigEndian(out, static_cast<uint32_t>(pluginId));
    putBigEndian(out, 1);
    putBigEndian(out, static_cast<uint32_t>(programs));
    out.insert(out.end(), 128, 0);
}

}  // namespace

std::vector<uint8_t> opaqueBankImage(VstInt32 pluginId, const std::vector<uint8_t>& chunk, const char* magic,
                                     VstInt32 formatVersion) {
    std::vector<uint8_t> out;
    putBankHeader(out, magic, "FBCh", formatVersion, pluginId, kPrograms);
    putBigEndian(out, static_cast<uint32_t>(chunk.size()));
    out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

std::vector<uint8_t> programBankImage(VstInt32 pluginId, const std::vector<ProgramImage>& programs,
                                      VstInt32 declaredPrograms) {
    std::vector<uint8_t> out;
    const VstInt32 n = declaredPrograms >= 0 ? declaredPrograms : static_cast<VstInt32>(programs.size());
    putBankHeader(out, "CcnK", "FxBk", 1, pluginId, n);
    for (const auto& p : programs) {
        putMagic(out, "CcnK");
        putBigEndian(out, 0);
        putMagic(out, "FxCk");
        putBigEndian(out, 1);
        putBigEndian(out, static_cast<uint32_t>(pluginId));
        putBigEndian(out, 1);
        putBigEndian(out, static_cast<uint32_t>(p.values.size()));
        char name[28] = {};
        std::memcpy(name, p.name.data(), p.name.size() < sizeof(name) ? p.name.size() : sizeof(name));
        out.insert(out.end(), name, name + sizeof(name));
        for (float v : p.values) putFloat(out, v);
    }
    return out;
}

std::vector<uint8_t> probeBankChunk(float base, const char* namePrefix) {
    std::vector<uint8_t> out;
    for (int p = 0; p < kPrograms; ++p) {
        char name[24] = {};
        std::snprintf(name, sizeof(name), "%s %d", namePrefix, p);
        out.insert(out.end(), name, name + sizeof(name));
        for (int j = 0; j < kParams; ++j) {
            const float v = base + 0.1f * static_cast<float>(p) + 0.001f * static_cast<float>(j);
            const auto* b = reinterpret_cast<const uint8_t*>(&v);
            out.insert(out.end(), b, b + sizeof(v));
        }
    }
    return out;
}

}  // namespace probe
