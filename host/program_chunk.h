// The chunk that carries user programs to the host, to the default bank and
// to bank files: a 68-byte header (total size, product key text, format
// version text) and one program block (a program chunk) or 24 (a bank).
// Little-endian; texts zero-padded to their field.
#pragma once

#include <cstdint>
#include <vector>

#include "host/program_record.h"

constexpr int kChunkHeaderBytes = 68;
constexpr const char* kChunkProductKey = "TalvexBass";
constexpr const char* kChunkFormatVersion = "1.1";
// Notes one stored pattern may hold; larger counts are refused as damaged.
constexpr int kMaxChunkPatternNotes = 4096;

// Builds a bank chunk of all records (isPreset false) or a program chunk of
// one record (isPreset true, which carries no program name).
std::vector<uint8_t> buildProgramChunk(const ProgramRecord* records, int count, bool isPreset);

// Checks a chunk and reads it into count fresh records; false refuses it
// (wrong size field, product key or version, or a block that does not fit).
bool parseProgramChunk(const uint8_t* data, size_t size, bool isPreset, std::vector<ProgramRecord>& records,
                       int count);
