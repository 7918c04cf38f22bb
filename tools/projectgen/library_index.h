// The library's table of contents, resources/library/library.yaml: the
// built-in projects in the order the editor shows them, 24 to a tab, each as
// "folder/NAME" under the library folder (the folders are the tabs:
// "1-basses-leads" holds projects of the first tab).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/projectgen/library_error.h"

namespace projectgen {

constexpr int kProjectsPerTab = 24;
constexpr int kMaxLibraryProjects = 4 * kProjectsPerTab;

struct LibraryEntry {
    std::string name;             // ACIDLINE
    std::filesystem::path file;   // .../1-basses-leads/ACIDLINE.yaml
    int folderTab = 0;            // the tab its folder names (1-4), 0 when it names none
};

// Reads the index in `folder`; every listed file exists, no project is
// listed twice and every description under the folder is listed.
// `notes` receives what is allowed but worth saying (a project shown in
// another tab than its folder's).
std::vector<LibraryEntry> readLibraryIndex(const std::filesystem::path& folder, std::vector<std::string>& notes);

}  // namespace projectgen
