// One plug-in instance as the renderer drives it: dispatcher calls with
// roomy text buffers, what it declares (for --info), program and bank files.
#pragma once

#include <cstdio>
#include <string>

#include "tools/talvex_render/render_options.h"
#include "vst/aeffectx.h"

class PluginSession {
public:
    explicit PluginSession(AEffect* effect) : effect_(effect) {}
    ~PluginSession() { close(); }
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    AEffect* effect() const { return effect_; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    // A text answer. Plug-ins are known to write past the documented
    // lengths, so the buffer is far larger than any of them.
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);
    void setParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }
    float getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) {
        effect_->processReplacing(effect_, inputs, outputs, frames);
    }
    // effClose; the plug-in frees its AEffect, which is not touched again.
    void close();

private:
    AEffect* effect_;
};

// What the plug-in declares, in the form of --info.
void printPluginInfo(PluginSession& session, std::FILE* out);

// Loads --chunk: a .fxp/.fxb file in any of its four forms, or raw chunk
// bytes (bank, or program for a .fxp name or --chunk-type program).
bool loadChunkFile(PluginSession& session, const RenderOptions& options, const std::string& path, std::string& error);

// Writes the plug-in's bank chunk: the raw bytes, or wrapped as an FBCh
// bank file.
bool saveBankChunk(PluginSession& session, const std::string& path, bool fxbForm, std::string& error);

// Writes the current program, its name, and each parameter's value and
// display text (with its label), one a line.
bool saveFinalState(PluginSession& session, const std::string& path, std::string& error);

std::string fourCharacterCode(VstInt32 code);
