#include "tests/editor/recording_host.h"

#include <cstdlib>

#include <unistd.h>

#include "host/standalone_host.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

std::vector<HostCall> hostCalls;

namespace {

VstIntPtr VSTCALLBACK recordingCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                        float opt) {
    if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit)
        hostCalls.push_back(HostCall{opcode, index, opt});
    return TestHost::callback(effect, opcode, index, value, ptr, opt);
}

}  // namespace

void EditorTest::SetUp() {
    config = std::filesystem::temp_directory_path() /
             ("talvex_editor_" + std::to_string(getpid()) + "_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::remove_all(config);
    std::filesystem::create_directories(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    hostCalls.clear();
}

void EditorTest::startPlugin(bool standalone) {
    host.version = standalone ? kStandaloneHostVersion : 2400;
    effect = VSTPluginMain(&recordingCallback);
    ASSERT_NE(effect, nullptr);
    main = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
    ASSERT_GE(main->projectNames().size(), 2u);
    hostCalls.clear();
}

void EditorTest::TearDown() {
    if (effect != nullptr) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    effect = nullptr;
    std::filesystem::remove_all(config);
}

std::vector<uint8_t> EditorTest::bankBytes() {
    void* data = nullptr;
    const VstInt32 size = main->getChunk(&data, false);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}
