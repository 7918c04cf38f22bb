// Turns a project description into the bytes of a ".prg" resource.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/projectgen/project_description.h"

namespace projectgen {

// Demonstration times are written in frames at this rate.
constexpr double kDemoSampleRate = 44100.0;

std::vector<uint8_t> writeProject(const ProjectSpec& project);

}  // namespace projectgen
