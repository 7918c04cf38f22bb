#include "bench/compare/bench_plugin.h"

#include "modulehost/module_registry.h"
#include "tools/talvex_render/render_host.h"

namespace benchcompare {

namespace {
constexpr const char* kTalvexPrefix = "talvex:";

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    size_t first = 0;
    while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
    return text.substr(first);
}
}  // namespace

bool isTalvexSource(const std::string& source) { return source.rfind(kTalvexPrefix, 0) == 0; }

bool BenchPlugin::open(const std::string& source, double sampleRate, int blockSize, std::string& error) {
    close();
    source_ = source;
    AEffect* effect = nullptr;
    if (isTalvexSource(source)) {
        const std::string title = source.substr(std::string(kTalvexPrefix).size());
        const ModuleClassEntry* entry = findModuleClass(title.c_str());
        if (entry == nullptr) {
            error = "no Talvex module class named " + title;
            return false;
        }
        AudioEffectX* module = entry->create(RenderHost::callback);
        if (module == nullptr) {
            error = "the module class " + title + " made no object";
            return false;
        }
        effect = module->getAeffect();
    } else {
        if (!library_.open(source, error)) return false;
        effect = library_.entry()(RenderHost::callback);
        if (effect == nullptr || effect->magic != kEffectMagic) {
            error = source + ": the entry point returned no VST effect";
            library_.close();
            return false;
        }
    }
    if ((effect->flags & effFlagsCanReplacing) == 0) {
        error = source + " has no processReplacing";
        return false;
    }
    session_ = std::make_unique<PluginSession>(effect);
    session_->dispatch(effOpen);
    session_->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    session_->dispatch(effSetBlockSize, 0, blockSize);
    session_->dispatch(effSetProcessPrecision, 0, 0);  // 32-bit float
    return true;
}

void BenchPlugin::resume() {
    if (!session_ || resumed_) return;
    session_->dispatch(effMainsChanged, 0, 1);
    session_->dispatch(effStartProcess);
    resumed_ = true;
}

void BenchPlugin::suspend() {
    if (!session_ || !resumed_) return;
    session_->dispatch(effStopProcess);
    session_->dispatch(effMainsChanged, 0, 0);
    resumed_ = false;
}

void BenchPlugin::close() {
    if (!session_) return;
    suspend();
    session_->close();
    session_.reset();
    library_.close();
}

std::string BenchPlugin::name() {
    std::string text = trimmed(session_->text(effGetEffectName));
    return text.empty() ? source_ : text;
}

int BenchPlugin::findParameter(const std::string& name) {
    for (int i = 0; i < effect()->numParams; ++i)
        if (trimmed(parameterName(i)) == name) return i;
    return -1;
}

std::string BenchPlugin::parameterDisplay(int index) {
    std::string value = trimmed(session_->text(effGetParamDisplay, index));
    std::string label = trimmed(session_->text(effGetParamLabel, index));
    return label.empty() ? value : value + " " + label;
}

}  // namespace benchcompare
