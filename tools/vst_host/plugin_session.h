// One plug-in instance as a host drives it: dispatcher calls with roomy text
// buffers, parameters, processing, and effClose exactly once.
#pragma once

#include <string>

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
