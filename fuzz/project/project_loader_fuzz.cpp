// Project text from the fuzzer through the whole loader, modules included,
// then one rendered block so that whatever the loader built is also played.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/effect.h"
#include "project/project_loader.h"

namespace {

VstTimeInfo g_time{};

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
    return 0;
}

Effect& effect() {
    static Effect* e = [] {
        g_time.sampleRate = 44100.0;
        g_time.tempo = 120.0;
        g_time.flags = kVstTempoValid;
        return new Effect(&hostCallback);
    }();
    return *e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Effect& e = effect();
    // The loader must not rely on a terminator or on bytes past the end.
    std::vector<uint8_t> copy(data, data + size);
    ProjectLoadOptions options;
    options.settleMs = 0;
    loadProject(e, copy.data(), copy.size(), options);
    std::vector<float> left(256), right(256);
    float* outputs[2] = {left.data(), right.data()};
    e.processReplacing(nullptr, outputs, 256);
    return 0;
}
