#include "tools/vst_host/plugin_session.h"

#include <vector>

namespace {
constexpr size_t kTextBufferBytes = 1024;
}  // namespace

VstIntPtr PluginSession::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (effect_ == nullptr) return 0;
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginSession::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    std::vector<char> buffer(kTextBufferBytes, 0);
    dispatch(opcode, index, value, buffer.data());
    buffer.back() = 0;
    return std::string(buffer.data());
}

void PluginSession::close() {
    if (effect_ == nullptr) return;
    AEffect* effect = effect_;
    effect_ = nullptr;
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}
