// One plug-in under test, driven through its AEffect as a host drives it:
// either a Talvex module made from the module table ("talvex:KavoReverb") or
// a VST 2.4 shared object loaded through dlopen (a path). Both go through
// the same dispatcher, parameter and processReplacing calls, so the timing
// compares like with like.
#pragma once

#include <memory>
#include <string>

#include "tools/vst_host/plugin_library.h"
#include "tools/talvex_render/session_files.h"

namespace benchcompare {

class BenchPlugin {
public:
    // Opens the plug-in and prepares it (effOpen, rate, block size); the
    // host callback must already be active (RenderHost).
    bool open(const std::string& source, double sampleRate, int blockSize, std::string& error);
    // effMainsChanged on and effStartProcess; call after the settings.
    void resume();
    void suspend();
    void close();
    ~BenchPlugin() { close(); }

    AEffect* effect() const { return session_ ? session_->effect() : nullptr; }
    PluginSession& session() { return *session_; }
    const std::string& source() const { return source_; }
    std::string name();

    int findParameter(const std::string& name);
    std::string parameterName(int index) { return session_->text(effGetParamName, index); }
    // Display text with its label ("20.0 ms").
    std::string parameterDisplay(int index);

private:
    std::string source_;
    PluginLibrary library_;
    std::unique_ptr<PluginSession> session_;
    bool resumed_ = false;
};

// True for "talvex:NAME" sources.
bool isTalvexSource(const std::string& source);

}  // namespace benchcompare
