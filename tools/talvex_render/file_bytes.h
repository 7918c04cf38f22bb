// Whole-file reading and writing for the renderer's inputs and outputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Input files larger than this are refused before anything is allocated
// for them: no MIDI file, event list or bank comes near it.
constexpr size_t kMaxInputFileBytes = 64u << 20;

bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
bool writeFileBytes(const std::string& path, const uint8_t* data, size_t size, std::string& error);
