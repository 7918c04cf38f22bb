// Reader of VST program (.fxp) and bank (.fxb) files: the four "CcnK" forms
// (parameter program FxCk, chunk program FPCh, parameter bank FxBk, chunk
// bank FBCh). Header integers and parameter floats are big-endian. The
// byteSize field is not trusted (writers disagree on it); the content sizes
// and the file length are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FxProgram {
    std::string name;
    std::vector<float> parameters;
};

struct FxFile {
    enum class Kind { ProgramParameters, ProgramChunk, BankParameters, BankChunk };
    Kind kind = Kind::ProgramChunk;
    int32_t formatVersion = 0;
    int32_t pluginId = 0;
    int32_t pluginVersion = 0;
    int32_t count = 0;           // parameters of a program, programs of a bank
    int32_t currentProgram = -1;  // version 2 banks name their current program
    FxProgram program;             // ProgramParameters, and the name of ProgramChunk
    std::vector<FxProgram> programs;  // BankParameters
    std::vector<uint8_t> chunk;       // ProgramChunk, BankChunk
};

bool looksLikeFxFile(const uint8_t* data, size_t size);

// False with a message for anything that is not one of the four forms or
// whose content runs past the end of the file.
bool parseFxFile(const uint8_t* data, size_t size, FxFile& out, std::string& error);

// Writes a chunk form (FPCh or FBCh) around raw chunk bytes; used by tests
// and by the renderer's --save-chunk.
std::vector<uint8_t> makeFxChunkFile(bool bank, int32_t pluginId, int32_t pluginVersion, int32_t count,
                                     const std::string& programName, const uint8_t* chunk, size_t size);
