#include "vst/audioeffectx.h"

#include <cstring>

void vst_strncpy(char* destination, const char* source, size_t capacity) {
    if (capacity == 0) return;
    size_t n = 0;
    if (source != nullptr) {
        while (n + 1 < capacity && source[n] != 0) {
            destination[n] = source[n];
            ++n;
        }
    }
    destination[n] = 0;
}

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingClass;
    cEffect.processDoubleReplacing = processDoubleReplacingClass;
}

AudioEffect::~AudioEffect() {
    delete editor;
    editor = nullptr;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    if (editor != nullptr)
        cEffect.flags |= effFlagsHasEditor;
    else
        cEffect.flags &= ~effFlagsHasEditor;
}

void AudioEffect::canProcessReplacing(bool state) {
    if (state)
        cEffect.flags |= effFlagsCanReplacing;
    else
        cEffect.flags &= ~effFlagsCanReplacing;
}

void AudioEffect::canDoubleReplacing(bool state) {
    if (state)
        cEffect.flags |= effFlagsCanDoubleReplacing;
    else
        cEffect.flags &= ~effFlagsCanDoubleReplacing;
}

void AudioEffect::programsAreChunks(bool state) {
    if (state)
        cEffect.flags |= effFlagsProgramChunks;
    else
        cEffect.flags &= ~effFlagsProgramChunks;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    if (audioMaster != nullptr) audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    if (audioMaster == nullptr) return 1;
    VstInt32 version = static_cast<VstInt32>(audioMaster(&cEffect, audioMasterVersion, 0, 0, nullptr, 0.0f));
    return version == 0 ? 1 : version;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(audioMaster(&cEffect, audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

void AudioEffect::masterIdle() {
    if (audioMaster != nullptr) audioMaster(&cEffect, audioMasterIdle, 0, 0, nullptr, 0.0f);
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    VstIntPtr v = 0;
    switch (opcode) {
        case effOpen:
            open();
            break;
        case effClose:
            close();
            delete this;
            return 1;
        case effSetProgram:
            if (value < numPrograms) setProgram(static_cast<VstInt32>(value));
            break;
        case effGetProgram:
            v = getProgram();
            break;
        case effSetProgramName:
            if (ptr != nullptr) setProgramName(static_cast<char*>(ptr));
            break;
        case effGetProgramName:
            if (ptr != nullptr) getProgramName(static_cast<char*>(ptr));
            break;
        case effGetParamLabel:
            if (ptr != nullptr) getParameterLabel(index, static_cast<char*>(ptr));
            break;
        case effGetParamDisplay:
            if (ptr != nullptr) getParameterDisplay(index, static_cast<char*>(ptr));
            break;
        case effGetParamName:
            if (ptr != nullptr) getParameterName(index, static_cast<char*>(ptr));
            break;
        case effSetSampleRate:
            setSampleRate(opt);
            break;
        case effSetBlockSize:
            setBlockSize(static_cast<VstInt32>(value));
            break;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            break;
        case effEditGetRect:
            if (editor != nullptr && ptr != nullptr) v = editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
            break;
        case effEditOpen:
            if (editor != nullptr) v = editor->open(ptr) ? 1 : 0;
            break;
        case effEditClose:
            if (editor != nullptr) editor->close();
            break;
        case effEditIdle:
            if (editor != nullptr) editor->idle();
            break;
        case effIdentify:
            v = vstFourCC('N', 'v', 'E', 'f');
            break;
        case effGetChunk:
            if (ptr != nullptr) v = getChunk(static_cast<void**>(ptr), index != 0);
            break;
        case effSetChunk:
            if (ptr != nullptr || value == 0) v = setChunk(ptr, static_cast<VstInt32>(value), index != 0);
            break;
        default:
            break;
    }
    return v;
}

VstIntPtr VSTCALLBACK AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                                       VstIntPtr value, void* ptr, float opt) {
    auto* effect = static_cast<AudioEffect*>(e->object);
    if (effect == nullptr) return 0;
    return effect->dispatcher(opcode, index, value, ptr, opt);
}

float VSTCALLBACK AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
    return static_cast<AudioEffect*>(e->object)->getParameter(index);
}

void VSTCALLBACK AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
    static_cast<AudioEffect*>(e->object)->setParameter(index, value);
}

// The accumulating call is deprecated; it is routed to the replacing routine
// so that a host that still calls it gets sound instead of a crash.
void VSTCALLBACK AudioEffect::processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    static_cast<AudioEffect*>(e->object)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK AudioEffect::processReplacingClass(AEffect* e, float** inputs, float** outputs,
                                                    VstInt32 sampleFrames) {
    static_cast<AudioEffect*>(e->object)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK AudioEffect::processDoubleReplacingClass(AEffect* e, double** inputs, double** outputs,
                                                          VstInt32 sampleFrames) {
    static_cast<AudioEffect*>(e->object)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

void AudioEffectX::isSynth(bool state) {
    if (state)
        cEffect.flags |= effFlagsIsSynth;
    else
        cEffect.flags &= ~effFlagsIsSynth;
}

void AudioEffectX::noTail(bool state) {
    if (state)
        cEffect.flags |= effFlagsNoSoundInStop;
    else
        cEffect.flags &= ~effFlagsNoSoundInStop;
}

VstPlugCategory AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    VstIntPtr v = 0;
    switch (opcode) {
        case effProcessEvents:
            v = ptr != nullptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
            break;
        case effCanBeAutomated:
            v = canParameterBeAutomated(index) ? 1 : 0;
            break;
        case effString2Parameter:
            v = string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
            break;
        case effGetProgramNameIndexed:
            if (ptr != nullptr)
                v = getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr)) ? 1 : 0;
            break;
        case effCopyProgram:
            v = copyProgram(index) ? 1 : 0;
            break;
        case effGetInputProperties:
            if (ptr != nullptr) v = getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
            break;
        case effGetOutputProperties:
            if (ptr != nullptr) v = getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
            break;
        case effGetPlugCategory:
            v = static_cast<VstIntPtr>(getPlugCategory());
            break;
        case effSetSpeakerArrangement:
            v = setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                      static_cast<VstSpeakerArrangement*>(ptr))
                    ? 1
                    : 0;
            break;
        case effSetBlockSizeAndSampleRate:
            setBlockSize(static_cast<VstInt32>(value));
            setSampleRate(opt);
            break;
        case effSetBypass:
            v = setBypass(value != 0) ? 1 : 0;
            break;
        case effGetEffectName:
            if (ptr != nullptr) v = getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
            break;
        case effGetVendorString:
            if (ptr != nullptr) v = getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
            break;
        case effGetProductString:
            if (ptr != nullptr) v = getProductString(static_cast<char*>(ptr)) ? 1 : 0;
            break;
        case effGetVendorVersion:
            v = getVendorVersion();
            break;
        case effVendorSpecific:
            v = vendorSpecific(index, value, ptr, opt);
            break;
        case effCanDo:
            v = ptr != nullptr ? canDo(static_cast<char*>(ptr)) : 0;
            break;
        case effGetTailSize:
            v = getTailSize();
            break;
        case effGetParameterProperties:
            if (ptr != nullptr) v = getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
            break;
        case effGetVstVersion:
            v = getVstVersion();
            break;
        case effEditKeyDown:
            if (editor != nullptr)
                v = editor->onKeyDown(index, static_cast<int>(value), static_cast<int>(opt)) ? 1 : 0;
            break;
        case effEditKeyUp:
            if (editor != nullptr)
                v = editor->onKeyUp(index, static_cast<int>(value), static_cast<int>(opt)) ? 1 : 0;
            break;
        case effSetEditKnobMode:
            if (editor != nullptr) v = editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
            break;
        case effGetMidiProgramName:
            v = getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
            break;
        case effGetCurrentMidiProgram:
            v = getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
            break;
        case effGetMidiProgramCategory:
            v = getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
            break;
        case effHasMidiProgramsChanged:
            v = hasMidiProgramsChanged(index) ? 1 : 0;
            break;
        case effGetMidiKeyName:
            v = getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
            break;
        case effBeginSetProgram:
            v = beginSetProgram() ? 1 : 0;
            break;
        case effEndSetProgram:
            v = endSetProgram() ? 1 : 0;
            break;
        case effGetSpeakerArrangement:
            v = getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                      static_cast<VstSpeakerArrangement**>(ptr))
                    ? 1
                    : 0;
            break;
        case effStartProcess:
            v = startProcess();
            break;
        case effStopProcess:
            v = stopProcess();
            break;
        case effSetPanLaw:
            v = setPanLaw(static_cast<VstInt32>(value), opt) ? 1 : 0;
            break;
        case effBeginLoadBank:
            v = beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
            break;
        case effBeginLoadProgram:
            v = beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
            break;
        case effSetProcessPrecision:
            v = setProcessPrecision(static_cast<VstInt32>(value)) ? 1 : 0;
            break;
        case effGetNumMidiInputChannels:
            v = getNumMidiInputChannels();
            break;
        case effGetNumMidiOutputChannels:
            v = getNumMidiOutputChannels();
            break;
        default:
            v = AudioEffect::dispatcher(opcode, index, value, ptr, opt);
            break;
    }
    return v;
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    if (audioMaster == nullptr) return nullptr;
    return reinterpret_cast<VstTimeInfo*>(audioMaster(&cEffect, audioMasterGetTime, 0, filter, nullptr, 0.0f));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterProcessEvents, 0, 0, events, 0.0f) == 1;
}

bool AudioEffectX::ioChanged() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterIOChanged, 0, 0, nullptr, 0.0f) != 0;
}

bool AudioEffectX::updateDisplay() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterSizeWindow, width, height, nullptr, 0.0f) != 0;
}

bool AudioEffectX::getHostVendorString(char* text) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterGetVendorString, 0, 0, text, 0.0f) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterGetProductString, 0, 0, text, 0.0f) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(audioMaster(&cEffect, audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::canHostDo(char* text) {
    if (audioMaster == nullptr) return 0;
    return audioMaster(&cEffect, audioMasterCanDo, 0, 0, text, 0.0f) != 0 ? 1 : 0;
}

bool AudioEffectX::beginEdit(VstInt32 index) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterBeginEdit, index, 0, nullptr, 0.0f) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterEndEdit, index, 0, nullptr, 0.0f) != 0;
}
