#include "tools/talvex_render/fx_file_reader.h"

#include <cstring>

namespace {

constexpr size_t kProgramHeaderBytes = 56;  // through the 28-byte program name
constexpr size_t kBankHeaderBytes = 156;    // through the 128 reserved bytes
constexpr size_t kProgramNameBytes = 28;

uint32_t readBig(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
int32_t readBigSigned(const uint8_t* p) { return static_cast<int32_t>(readBig(p)); }
float readBigFloat(const uint8_t* p) {
    uint32_t bits = readBig(p);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}
void writeBig(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

bool hasTag(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

std::string readName(const uint8_t* p) {
    size_t length = 0;
    while (length < kProgramNameBytes && p[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(p), length);
}

// One FxCk record at data[0..size); its length goes to consumed.
bool parseParameterProgram(const uint8_t* data, size_t size, FxFile& file, FxProgram& program, size_t& consumed,
                           std::string& error) {
    if (size < kProgramHeaderBytes || !hasTag(data, "CcnK") || !hasTag(data + 8, "FxCk")) {
        error = "program record is not an FxCk program";
        return false;
    }
    int32_t count = readBigSigned(data + 24);
    if (count < 0 || static_cast<size_t>(count) > (size - kProgramHeaderBytes) / 4) {
        error = "program parameters run past the end of the file";
        return false;
    }
    file.formatVersion = readBigSigned(data + 12);
    file.pluginId = readBigSigned(data + 16);
    file.pluginVersion = readBigSigned(data + 20);
    program.name = readName(data + 28);
    program.parameters.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        program.parameters[static_cast<size_t>(i)] = readBigFloat(data + kProgramHeaderBytes + 4 * static_cast<size_t>(i));
    consumed = kProgramHeaderBytes + 4 * static_cast<size_t>(count);
    return true;
}

bool readChunk(const uint8_t* data, size_t size, size_t offset, FxFile& out, std::string& error) {
    if (size < offset + 4) {
        error = "file ends before the chunk size";
        return false;
    }
    int32_t chunkSize = readBigSigned(data + offset);
    if (chunkSize < 0 || static_cast<size_t>(chunkSize) > size - offset - 4) {
        error = "chunk runs past the end of the file";
        return false;
    }
    out.chunk.assign(data + offset + 4, data + offset + 4 + chunkSize);
    return true;
}

}  // namespace

bool looksLikeFxFile(const uint8_t* data, size_t size) { return size >= 12 && hasTag(data, "CcnK"); }

bool parseFxFile(const uint8_t* data, size_t size, FxFile& out, std::string& error) {
    FxFile file;
    if (!looksLikeFxFile(data, size)) {
        error = "not a VST program or bank file (no CcnK header)";
        return false;
    }
    const uint8_t* form = data + 8;
    if (hasTag(form, "FxCk")) {
        file.kind = FxFile::Kind::ProgramParameters;
        size_t consumed = 0;
        if (!parseParameterProgram(data, size, file, file.program, consumed, error)) return false;
        file.count = static_cast<int32_t>(file.program.parameters.size());
    } else if (hasTag(form, "FPCh")) {
        file.kind = FxFile::Kind::ProgramChunk;
        if (size < kProgramHeaderBytes) {
            error = "program header is cut short";
            return false;
        }
        file.formatVersion = readBigSigned(data + 12);
        file.pluginId = readBigSigned(data + 16);
        file.pluginVersion = readBigSigned(data + 20);
        file.count = readBigSigned(data + 24);
        file.program.name = readName(data + 28);
        if (!readChunk(data, size, kProgramHeaderBytes, file, error)) return false;
    } else if (hasTag(form, "FxBk") || hasTag(form, "FBCh")) {
        if (size < kBankHeaderBytes) {
            error = "bank header is cut short";
            return false;
        }
        file.formatVersion = readBigSigned(data + 12);
        file.pluginId = readBigSigned(data + 16);
        file.pluginVersion = readBigSigned(data + 20);
        file.count = readBigSigned(data + 24);
        if (file.formatVersion >= 2) file.currentProgram = readBigSigned(data + 28);
        if (hasTag(form, "FBCh")) {
            file.kind = FxFile::Kind::BankChunk;
            if (!readChunk(data, size, kBankHeaderBytes, file, error)) return false;
        } else {
            file.kind = FxFile::Kind::BankParameters;
            // Each program needs at least its header: the count cannot ask
            // for more records than the file could hold.
            if (file.count < 0 || static_cast<size_t>(file.count) > (size - kBankHeaderBytes) / kProgramHeaderBytes) {
                error = "bank programs run past the end of the file";
                return false;
            }
            size_t offset = kBankHeaderBytes;
            const int32_t bankId = file.pluginId;
            const int32_t bankVersion = file.pluginVersion;
            const int32_t bankFormat = file.formatVersion;
            for (int32_t i = 0; i < file.count; ++i) {
                FxProgram program;
                size_t consumed = 0;
                if (!parseParameterProgram(data + offset, size - offset, file, program, consumed, error)) {
                    error = "program " + std::to_string(i) + ": " + error;
                    return false;
                }
                offset += consumed;
                file.programs.push_back(std::move(program));
            }
            file.pluginId = bankId;
            file.pluginVersion = bankVersion;
            file.formatVersion = bankFormat;
        }
    } else {
        error = "unknown program or bank form";
        return false;
    }
    out = std::move(file);
    return true;
}

std::vector<uint8_t> makeFxChunkFile(bool bank, int32_t pluginId, int32_t pluginVersion, int32_t count,
                                     const std::string& programName, const uint8_t* chunk, size_t size) {
    std::vector<uint8_t> out;
    const size_t header = bank ? kBankHeaderBytes : kProgramHeaderBytes;
    out.reserve(header + 4 + size);
    auto tag = [&out](const char* text) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(text[i]));
    };
    tag("CcnK");
    // byteSize: the length after this field, as the format describes it.
    writeBig(out, static_cast<uint32_t>(header + 4 + size - 8));
    tag(bank ? "FBCh" : "FPCh");
    writeBig(out, 1);
    writeBig(out, static_cast<uint32_t>(pluginId));
    writeBig(out, static_cast<uint32_t>(pluginVersion));
    writeBig(out, static_cast<uint32_t>(count));
    if (bank) {
        out.resize(out.size() + 128, 0);
    } else {
        uint8_t name[kProgramNameBytes] = {};
        for (size_t i = 0; i + 1 < kProgramNameBytes && i < programName.size(); ++i)
            name[i] = static_cast<uint8_t>(programName[i]);
        out.insert(out.end(), name, name + kProgramNameBytes);
    }
    writeBig(out, static_cast<uint32_t>(size));
    if (size > 0) out.insert(out.end(), chunk, chunk + size);
    return out;
}
