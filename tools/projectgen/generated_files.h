// The files projectgen owns: the lines of the plug-in's resource list that
// carry the projects, and the project files left over from projects that
// were dropped or renamed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace projectgen {

// "DATA NAME.prg projects/NAME.prg" for each project in list order, then
// the project list and the default bank.
std::vector<std::string> projectResourceLines(const std::vector<std::string>& names);

// The resource list `text` with its project lines replaced by `lines`:
// every line that names a file under projects/ goes, and the new lines
// stand where the first of them stood (after the other lines, under a
// heading of their own, when there were none). Everything else is kept
// as it was, byte for byte.
std::string replaceProjectResourceLines(const std::string& text, const std::vector<std::string>& lines);

// The project files in `folder` that no listed project writes any more:
// every ".prg" there is the tool's, as is any other file it once wrote.
std::vector<std::filesystem::path> staleProjectFiles(const std::filesystem::path& folder, const std::vector<std::string>& names);

}  // namespace projectgen
