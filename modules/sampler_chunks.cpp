// Preset and bank chunks of the sampler, their older shorter forms, and the
// 256-byte chunk that names the base folder of a bank's samples.
//
// Every form is 16 parts of (256-byte file name, n values of parameters
// 1 … n), the preset led by the link flag in the forms that have it; a bank
// is 16 split-note floats followed by 8 programs of (24-byte name, preset
// body). Names from chunks need not be terminated; values are sanitised.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "modules/chunk_fields.h"
#include "modules/sample_store_entry.h"
#include "modules/sampler_module.h"

using namespace sampler;

using namespace chunk_fields;

namespace {

constexpr size_t kSplitHeaderBytes = kParts * kFloat;

// Each older version added values per part; the link flag came with 26.
constexpr EffectSampler::ChunkForm kForms[] = {
    {31, true}, {26, true}, {26, false}, {24, false}, {20, false}, {19, false}, {18, false}, {17, false},
};

float linkFrom(float value) { return std::isfinite(value) ? value : 0.0f; }

}  // namespace

VstInt32 EffectSampler::presetBytes(const ChunkForm& form) {
    return static_cast<VstInt32>((form.hasLink ? kFloat : 0) +
                                 kParts * (kFileNameBytes + kFloat * static_cast<size_t>(form.valuesPerPart)));
}

VstInt32 EffectSampler::bankBytes(const ChunkForm& form) {
    return static_cast<VstInt32>(kSplitHeaderBytes +
                                 kPrograms * (kVstMaxProgNameLen + static_cast<size_t>(presetBytes(form))));
}

bool EffectSampler::formForPreset(VstInt32 size, ChunkForm& form) {
    for (const ChunkForm& f : kForms)
        if (presetBytes(f) == size) {
            form = f;
            return true;
        }
    return false;
}

bool EffectSampler::formForBank(VstInt32 size, ChunkForm& form) {
    for (const ChunkForm& f : kForms)
        if (bankBytes(f) == size) {
            form = f;
            return true;
        }
    return false;
}

static_assert(EffectSampler::kPresetChunkBytes == 4 + 16 * (256 + 31 * 4));
static_assert(EffectSampler::kBankChunkBytes == 64 + 8 * (24 + EffectSampler::kPresetChunkBytes));

// ---------------------------------------------------------------------------
// Writing

void EffectSampler::writeBankName(char* out, const char* name) const {
    // With a base folder, a bank names its samples relative to it.
    if (baseFolder_[0] != 0 && name[0] != 0) {
        out[0] = '\\';
        copyNameField(out + 1, sample_store::fileNamePart(name), kFileNameBytes - 1);
    } else {
        copyNameField(out, name, kFileNameBytes);
    }
}

VstInt32 EffectSampler::getChunk(void** data, bool isPreset) {
    if (data == nullptr) return 0;
    const VstInt32 size = isPreset ? kPresetChunkBytes : kBankChunkBytes;
    // The caller owns the buffer.
    char* buffer = new char[static_cast<size_t>(size)];
    std::memset(buffer, 0, static_cast<size_t>(size));
    char* out = buffer;
    if (isPreset) {
        writeFloat(out, link_);
        out += kFloat;
        for (int k = 0; k < kParts; ++k) {
            copyNameField(out, fileNames_[k], kFileNameBytes);
            out += kFileNameBytes;
            for (int p = 1; p < kPartParams; ++p, out += kFloat) writeFloat(out, live(p, k));
        }
    } else {
        for (int k = 0; k < kParts; ++k, out += kFloat) writeFloat(out, live(kSplitNote, k));
        for (const Program& program : programs_) {
            copyNameField(out, program.name, kVstMaxProgNameLen);
            out += kVstMaxProgNameLen;
            writeFloat(out, program.link);
            out += kFloat;
            for (int k = 0; k < kParts; ++k) {
                writeBankName(out, program.fileNames[k]);
                out += kFileNameBytes;
                for (int p = 1; p < kPartParams; ++p, out += kFloat) writeFloat(out, program.value(p, k));
            }
        }
    }
    *data = buffer;
    return size;
}

// ---------------------------------------------------------------------------
// Reading

VstInt32 EffectSampler::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (data == nullptr || byteSize <= 0) return 0;
    const char* in = static_cast<const char*>(data);
    if (byteSize == kBaseFolderChunkBytes) {
        setBaseFolder(in, static_cast<size_t>(byteSize));
        return 1;
    }
    ChunkForm form{};
    if (isPreset) {
        if (!formForPreset(byteSize, form)) return 0;
        readPreset(in, form);
    } else {
        if (!formForBank(byteSize, form)) return 0;
        readBank(in, form);
    }
    return 1;
}

void EffectSampler::setBaseFolder(const char* bytes, size_t size) {
    size_t length = 0;
    while (length < size && length < kFileNameBytes - 2 && bytes[length] != 0) ++length;
    std::memset(baseFolder_, 0, sizeof(baseFolder_));
    if (length == 0) return;
    std::memcpy(baseFolder_, bytes, length);
    if (!isSeparator(baseFolder_[length - 1])) baseFolder_[length] = '\\';
}

void EffectSampler::readPreset(const char* in, const ChunkForm& form) {
    float chunkLink = link_;
    if (form.hasLink) {
        chunkLink = linkFrom(readFloat(in));
        in += kFloat;
    }
    // Values apply part by part, not to every part at once.
    link_ = 0.0f;
    for (int k = 0; k < kParts; ++k) {
        char name[kFileNameBytes];
        copyNameField(name, in, kFileNameBytes);
        in += kFileNameBytes;
        if (std::strcmp(name, fileNames_[k]) != 0) {
            std::memcpy(fileNames_[k], name, kFileNameBytes);
            std::memcpy(programs_[static_cast<size_t>(curProgram)].fileNames[k], name, kFileNameBytes);
            loadSample(k);
        }
        for (int p = 1; p <= form.valuesPerPart; ++p, in += kFloat) setParameter(k * kPartParams + p, readFloat(in));
    }
    link_ = chunkLink;
    programs_[static_cast<size_t>(curProgram)].link = link_;
    setProgram(curProgram);
}

void EffectSampler::completeBankName(char* name) const {
    const size_t length = std::strlen(name);
    if (length > 0 && isSeparator(name[length - 1])) {
        std::memset(name, 0, kFileNameBytes);
        return;
    }
    const size_t baseLength = std::strlen(baseFolder_);
    if (length == 0 || baseLength == 0) return;
    if (insideFolder(name, baseFolder_)) return;
    const char* rest = isSeparator(name[0]) ? name + 1 : name;
    char full[kFileNameBytes];
    std::memcpy(full, baseFolder_, baseLength);
    const size_t room = kFileNameBytes - 1 - baseLength;
    const size_t restLength = std::min(std::strlen(rest), room);
    std::memcpy(full + baseLength, rest, restLength);
    full[baseLength + restLength] = 0;
    copyNameField(name, full, kFileNameBytes);
}

void EffectSampler::readBank(const char* in, const ChunkForm& form) {
    // The split-note header mirrors the live split notes; every form that
    // has split notes also carries them per program, which is what counts.
    in += kSplitHeaderBytes;
    for (Program& program : programs_) {
        Program fresh;
        defaultProgram(fresh);
        copyNameField(fresh.name, in, kVstMaxProgNameLen);
        in += kVstMaxProgNameLen;
        if (form.hasLink) {
            fresh.link = linkFrom(readFloat(in));
            in += kFloat;
        }
        for (int k = 0; k < kParts; ++k) {
            copyNameField(fresh.fileNames[k], in, kFileNameBytes);
            completeBankName(fresh.fileNames[k]);
            in += kFileNameBytes;
            for (int p = 1; p <= form.valuesPerPart; ++p, in += kFloat)
                fresh.value(p, k) = sanitise(p, k, readFloat(in));
        }
        program = fresh;
    }
    setProgram(curProgram);
}
