#include "tools/talvex_render/session_files.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "tools/talvex_render/file_bytes.h"
#include "tools/talvex_render/fx_file_reader.h"

namespace {

constexpr size_t kTextBufferBytes = 1024;

bool endsWith(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) return false;
    return true;
}

const char* categoryName(VstIntPtr category) {
    static const char* const kNames[] = {"unknown", "effect",  "synth",       "analysis", "mastering",
                                         "spatial", "room fx", "surround fx", "restoration",
                                         "offline", "shell",   "generator"};
    if (category < 0 || category >= static_cast<VstIntPtr>(sizeof(kNames) / sizeof(kNames[0]))) return "?";
    return kNames[category];
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } kFlags[] = {{effFlagsHasEditor, "editor"},           {effFlagsCanReplacing, "replacing"},
                  {effFlagsProgramChunks, "chunks"},       {effFlagsIsSynth, "synth"},
                  {effFlagsNoSoundInStop, "no-sound-in-stop"}, {effFlagsCanDoubleReplacing, "double"}};
    std::string out;
    for (const auto& flag : kFlags) {
        if ((flags & flag.bit) == 0) continue;
        if (!out.empty()) out += ", ";
        out += flag.name;
    }
    return out;
}

void loadParameters(PluginSession& session, const FxProgram& program) {
    const VstInt32 count = session.effect()->numParams;
    for (size_t i = 0; i < program.parameters.size() && static_cast<VstInt32>(i) < count; ++i)
        session.setParameter(static_cast<VstInt32>(i), program.parameters[i]);
    std::string name = program.name;
    session.dispatch(effSetProgramName, 0, 0, name.data());
}

}  // namespace

std::string fourCharacterCode(VstInt32 code) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xff);
        out += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    }
    return out;
}




void printPluginInfo(PluginSession& session, std::FILE* out) {
    AEffect* e = session.effect();
    std::fprintf(out, "effect name: %s\n", session.text(effGetEffectName).c_str());
    std::fprintf(out, "vendor: %s\n", session.text(effGetVendorString).c_str());
    std::fprintf(out, "product: %s\n", session.text(effGetProductString).c_str());
    std::fprintf(out, "vendor version: %ld\n", static_cast<long>(session.dispatch(effGetVendorVersion)));
    std::fprintf(out, "VST version: %ld\n", static_cast<long>(session.dispatch(effGetVstVersion)));
    VstIntPtr category = session.dispatch(effGetPlugCategory);
    std::fprintf(out, "category: %ld (%s)\n", static_cast<long>(category), categoryName(category));
    std::fprintf(out, "unique id: 0x%08X '%s'\n", static_cast<unsigned>(e->uniqueID),
                 fourCharacterCode(e->uniqueID).c_str());
    std::fprintf(out, "version: %d\n", e->version);
    std::fprintf(out, "inputs: %d\noutputs: %d\nparameters: %d\nprograms: %d\n", e->numInputs, e->numOutputs,
                 e->numParams, e->numPrograms);
    std::fprintf(out, "flags: 0x%04X (%s)\n", static_cast<unsigned>(e->flags), flagNames(e->flags).c_str());
    std::fprintf(out, "initial delay: %d\n", e->initialDelay);
    std::fprintf(out, "tail size: %ld\n", static_cast<long>(session.dispatch(effGetTailSize)));
    for (VstInt32 i = 0; i < e->numPrograms; ++i) {
        std::vector<char> name(kTextBufferBytes, 0);
        VstIntPtr ok = session.dispatch(effGetProgramNameIndexed, i, -1, name.data());
        std::fprintf(out, "program %d: %s\n", i, ok != 0 ? name.data() : "(no name)");
    }
    for (VstInt32 i = 0; i < e->numParams; ++i) {
        std::string name = session.text(effGetParamName, i);
        std::string display = session.text(effGetParamDisplay, i);
        std::string label = session.text(effGetParamLabel, i);
        std::fprintf(out, "parameter %d: %s = %s %s (%g)\n", i, name.c_str(), display.c_str(), label.c_str(),
                     static_cast<double>(session.getParameter(i)));
    }
    for (VstInt32 i = 0; i < e->numOutputs; ++i) {
        VstPinProperties pin{};
        if (session.dispatch(effGetOutputProperties, i, 0, &pin) != 0) {
            pin.label[sizeof(pin.label) - 1] = 0;
            std::fprintf(out, "output %d: %s (flags %d)\n", i, pin.label, pin.flags);
        } else {
            std::fprintf(out, "output %d: (no properties)\n", i);
        }
    }
}

bool loadChunkFile(PluginSession& session, const RenderOptions& options, const std::string& path, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readFileBytes(path, bytes, error)) return false;
    AEffect* e = session.effect();

    if (!looksLikeFxFile(bytes.data(), bytes.size())) {
        // Raw chunk bytes, as a plug-in's getChunk returns them.
        bool program = options.chunkType == RenderOptions::ChunkType::Program ||
                       (options.chunkType == RenderOptions::ChunkType::Auto && endsWith(path, ".fxp"));
        if ((e->flags & effFlagsProgramChunks) == 0) {
            error = "the plug-in does not take chunks; " + path + " is not a .fxp/.fxb file";
            return false;
        }
        session.dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
        return true;
    }

    FxFile file;
    if (!parseFxFile(bytes.data(), bytes.size(), file, error)) {
        error = path + ": " + error;
        return false;
    }
    if (file.pluginId != e->uniqueID && !options.forceChunk) {
        error = path + " belongs to plug-in '" + fourCharacterCode(file.pluginId) +
                "', this one is '" + fourCharacterCode(e->uniqueID) + "' (--force-chunk loads it anyway)";
        return false;
    }
    VstPatchChunkInfo info{};
    info.version = 1;
    info.pluginUniqueID = file.pluginId;
    info.pluginVersion = file.pluginVersion;
    info.numElements = file.count;
    switch (file.kind) {
        case FxFile::Kind::ProgramParameters:
            loadParameters(session, file.program);
            return true;
        case FxFile::Kind::ProgramChunk:
        case FxFile::Kind::BankChunk: {
            const bool bank = file.kind == FxFile::Kind::BankChunk;
            if ((e->flags & effFlagsProgramChunks) == 0) {
                error = "the plug-in does not take chunks";
                return false;
            }
            if (session.dispatch(bank ? effBeginLoadBank : effBeginLoadProgram, 0, 0, &info) == -1) {
                error = "the plug-in refused " + path;
                return false;
            }
            session.dispatch(effSetChunk, bank ? 0 : 1, static_cast<VstIntPtr>(file.chunk.size()),
                             file.chunk.data());
            return true;
        }
        case FxFile::Kind::BankParameters: {
            if (session.dispatch(effBeginLoadBank, 0, 0, &info) == -1) {
                error = "the plug-in refused " + path;
                return false;
            }
            for (size_t i = 0; i < file.programs.size() && static_cast<VstInt32>(i) < e->numPrograms; ++i) {
                session.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(i));
                loadParameters(session, file.programs[i]);
            }
            VstInt32 current = file.currentProgram >= 0 && file.currentProgram < e->numPrograms ? file.currentProgram : 0;
            session.dispatch(effSetProgram, 0, current);
            return true;
        }
    }
    return true;
}

bool saveBankChunk(PluginSession& session, const std::string& path, bool fxbForm, std::string& error) {
    AEffect* e = session.effect();
    if ((e->flags & effFlagsProgramChunks) == 0) {
        error = "the plug-in keeps no chunks to save";
        return false;
    }
    void* data = nullptr;
    VstIntPtr size = session.dispatch(effGetChunk, 0, 0, &data);
    if (size <= 0 || data == nullptr) {
        error = "the plug-in returned no bank chunk";
        return false;
    }
    // The buffer stays the plug-in's; it is copied before anything else is
    // asked of the plug-in.
    std::vector<uint8_t> chunk(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    if (!fxbForm) return writeFileBytes(path, chunk.data(), chunk.size(), error);
    std::vector<uint8_t> file =
        makeFxChunkFile(true, e->uniqueID, e->version, e->numPrograms, std::string(), chunk.data(), chunk.size());
    return writeFileBytes(path, file.data(), file.size(), error);
}

bool saveFinalState(PluginSession& session, const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    AEffect* effect = session.effect();
    std::fprintf(file, "program %lld\n", static_cast<long long>(session.dispatch(effGetProgram)));
    std::fprintf(file, "program-name %s\n", session.text(effGetProgramName).c_str());
    for (VstInt32 index = 0; index < effect->numParams; ++index)
        std::fprintf(file, "parameter %d %.9g %s %s\n", index, static_cast<double>(session.getParameter(index)),
                     session.text(effGetParamDisplay, index).c_str(), session.text(effGetParamLabel, index).c_str());
    const bool ok = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
