// The built-in projects: every sound set the plug-in ships with.
#pragma once

#include <vector>

#include "tools/projectgen/project_description.h"

namespace projectgen {

std::vector<ProjectSpec> soundLibrary();

}  // namespace projectgen
