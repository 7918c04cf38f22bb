// Preset and bank chunks of the drum machine, the base folder chunk, and the
// copying of sample files into the base folder when a bank is stored.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "modules/chunk_fields.h"
#include "modules/drums_module.h"
#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"

using namespace drums;

using namespace chunk_fields;

namespace {

// Names in chunks are zero-terminated inside their field; a field without a
// terminator is cut at its last byte.
size_t fieldLength(const char* field, size_t capacity) {
    size_t n = 0;
    while (n < capacity && field[n] != 0) ++n;
    return n;
}

bool hasExtension(const std::string& name) {
    const size_t n = name.size();
    return (n >= 4 && name[n - 4] == '.') || (n >= 5 && name[n - 5] == '.');
}

// Sample paths are written the Windows way; other systems want '/'.
std::filesystem::path filesystemPath(std::string path) {
#ifndef _WIN32
    for (char& c : path)
        if (c == '\\') c = '/';
#endif
    return std::filesystem::path(path);
}

}  // namespace

void EffectDrums::readPadName(const char* field, int pad, char* out) const {
    // Zero-padded, so that names travel on byte for byte.
    std::memset(out, 0, kNameBytes);
    drum_samples::normalisePadName(field, kNameBytes, pad, out, kNameBytes);
}

void EffectDrums::setBaseFolder(const char* field) {
    size_t n = fieldLength(field, kBaseFolderChunkBytes - 1);
    while (n > 0 && (field[n - 1] == '\\' || field[n - 1] == '/')) --n;
    std::memcpy(baseFolder_, field, n);
    std::memset(baseFolder_ + n, 0, sizeof(baseFolder_) - n);
}

// A bank stored while a base folder is set takes its samples along: the
// name becomes '\' + file name, relative to the folder, and the file is
// copied there. Failures to copy are not reported (the host has no way to
// hear of them); the name is written all the same.
void EffectDrums::exportPadName(const char* name, char* out) {
    const size_t length = fieldLength(name, kNameBytes - 1);
    std::memset(out, 0, kNameBytes);
    if (baseFolder_[0] == 0 || length == 0) {
        std::memcpy(out, name, length);
        return;
    }
    const std::string original(name, length);
    const char* filePart = sample_store::fileNamePart(original.c_str());
    std::string relative = std::string("\\") + filePart;
    if (relative.size() > kNameBytes - 1) relative.resize(kNameBytes - 1);
    std::memcpy(out, relative.data(), relative.size());

    std::string source = original;
    if (source[0] == '\\' || source[0] == '/') source = baseFolder_ + source;
    if (!hasExtension(source)) source += ".wav";
    const std::filesystem::path from = filesystemPath(source);
    const std::filesystem::path to = filesystemPath(std::string(baseFolder_) + "\\" + filePart);
    std::error_code error;
    if (std::filesystem::equivalent(from, to, error)) return;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
}

VstInt32 EffectDrums::getChunk(void** data, bool isPreset) {
    if (data == nullptr) return 0;
    const int size = isPreset ? kPresetChunkBytes : kBankChunkBytes;
    // The caller owns the buffer.
    char* buffer = new char[static_cast<size_t>(size)];
    std::memset(buffer, 0, static_cast<size_t>(size));
    char* out = buffer;
    if (isPreset) {
        const DrumProgram& current = programs_[static_cast<size_t>(curProgram)];
        for (int k = 0; k < kPads; ++k) {
            std::memcpy(out, current.fileNames[k], kNameBytes);
            out[kNameBytes - 1] = 0;
            out += kNameBytes;
            for (int p = 1; p < kParamsPerPad; ++p, out += kFloat) writeFloat(out, live_[p][k]);
        }
    } else {
        for (int k = 0; k < kPads; ++k, out += kFloat) writeFloat(out, static_cast<float>(padNotes_[k]));
        for (const DrumProgram& program : programs_) {
            std::memcpy(out, program.name, kProgramNameBytes);
            out[kProgramNameBytes - 1] = 0;
            out += kProgramNameBytes;
            for (int k = 0; k < kPads; ++k) {
                exportPadName(program.fileNames[k], out);
                out += kNameBytes;
                for (int p = 1; p < kParamsPerPad; ++p, out += kFloat) writeFloat(out, program.values[slot(p, k)]);
            }
        }
    }
    *data = buffer;
    return size;
}

VstInt32 EffectDrums::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (data == nullptr || byteSize <= 0) return 0;
    const char* in = static_cast<const char*>(data);
    if (byteSize == kBaseFolderChunkBytes) {
        setBaseFolder(in);
        return 1;
    }
    char name[kNameBytes];
    if (isPreset) {
        int values;
        if (byteSize == kPresetChunkBytes)
            values = kStoredValues;
        else if (byteSize == kOlderPresetChunkBytes)
            values = kOlderStoredValues;
        else
            return 0;
        DrumProgram& current = programs_[static_cast<size_t>(curProgram)];
        for (int k = 0; k < kPads; ++k) {
            readPadName(in, k, name);
            in += kNameBytes;
            std::memcpy(padNames_[k], name, kNameBytes);
            std::memcpy(current.fileNames[k], name, kNameBytes);
            for (int p = 1; p <= values; ++p, in += kFloat) storeValue(k, p, readFloat(in));
            recomputePad(k);
            loadPadSample(k);
            updatePadWindow(k);
        }
        return 1;
    }

    int values;
    if (byteSize == kBankChunkBytes)
        values = kStoredValues;
    else if (byteSize == kOlderBankChunkBytes)
        values = kOlderStoredValues;
    else
        return 0;
    for (int k = 0; k < kPads; ++k, in += kFloat) {
        const float note = readFloat(in);
        padNotes_[k] = std::isfinite(note) && note >= 0.0f && note <= 127.0f ? static_cast<int>(note)
                                                                             : kDefaultPadNotes[k];
    }
    float defaults[kStoredValues];
    defaultStoredValues(defaults);
    for (DrumProgram& program : programs_) {
        std::memcpy(program.name, in, kProgramNameBytes);
        program.name[kProgramNameBytes - 1] = 0;
        in += kProgramNameBytes;
        for (int k = 0; k < kPads; ++k) {
            readPadName(in, k, program.fileNames[k]);
            in += kNameBytes;
            for (int p = 1; p < kParamsPerPad; ++p) {
                float v = defaults[p - 1];
                if (p <= values) {
                    v = readFloat(in);
                    in += kFloat;
                }
                program.values[slot(p, k)] = storedValue(p, v);
            }
        }
    }
    setProgram(curProgram);
    return 1;
}
