// The built-in project list ("talvex.dat"): text naming one project per line
// ("ACBASS.prg"), stored scrambled byte by byte so the resource does not
// read as plain text. The list tool scrambles; the plug-in unscrambles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> scrambleProjectList(const uint8_t* text, size_t size);
std::vector<uint8_t> unscrambleProjectList(const uint8_t* data, size_t size);

// Names of the projects in a scrambled list, in file order: every line
// ending in ".prg", without it. Other lines are ignored.
std::vector<std::string> readProjectList(const uint8_t* data, size_t size);
