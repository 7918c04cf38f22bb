// Reads one project description: a YAML file a sound designer writes, with
// the tracks, their modules' settings by parameter name, the sound balls,
// patterns, demonstration and master section (docs/library-format.md).
// Everything it reads is checked; the first fault ends the reading with a
// LibraryError that names the file and line.
#pragma once

#include <filesystem>
#include <string>

#include "tools/projectgen/library_error.h"
#include "tools/projectgen/project_description.h"

namespace projectgen {

// sourceName is what messages call the text (normally its file path).
ProjectSpec readProjectText(const std::string& text, const std::string& sourceName);

// Reads the file; its name without ".yaml" must be the project's name.
ProjectSpec readProjectFile(const std::filesystem::path& file);

}  // namespace projectgen
