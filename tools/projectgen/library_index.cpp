#include "tools/projectgen/library_index.h"

#include <yaml-cpp/yaml.h>

#include <set>

namespace projectgen {

std::vector<LibraryEntry> readLibraryIndex(const std::filesystem::path& folder, std::vector<std::string>& notes) {
    namespace fs = std::filesystem;
    const fs::path indexFile = folder / "library.yaml";
    const std::string where = indexFile.string();
    YAML::Node root;
    try {
        root = YAML::LoadFile(indexFile.string());
    } catch (const YAML::BadFile&) {
        throw LibraryError(where + ": cannot be read");
    } catch (const YAML::Exception& e) {
        throw LibraryError(where + ":" + std::to_string(e.mark.line + 1) + ": " + e.msg);
    }
    auto fail = [&](const YAML::Node& at, const std::string& message) {
        throw LibraryError(where + ":" + std::to_string(at.Mark().line + 1) + ": " + message);
    };
    if (!root.IsMap() || root.size() != 1 || !root["projects"] || !root["projects"].IsSequence())
        fail(root, "the index is one list, \"projects\", of folder/NAME entries");
    std::vector<LibraryEntry> entries;
    std::set<std::string> names;
    std::set<std::filesystem::path> listed;
    for (const YAML::Node& item : root["projects"]) {
        if (!item.IsScalar()) fail(item, "an entry is folder/NAME");
        const std::string text = item.Scalar();
        const size_t slash = text.find('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == text.size() || text.find('/', slash + 1) != std::string::npos ||
            text.find("..") != std::string::npos)
            fail(item, "an entry is folder/NAME, not \"" + text + "\"");
        LibraryEntry entry;
        entry.name = text.substr(slash + 1);
        const std::string folderName = text.substr(0, slash);
        entry.file = folder / folderName / (entry.name + ".yaml");
        if (folderName.size() > 1 && folderName[0] >= '1' && folderName[0] <= '4' && folderName[1] == '-')
            entry.folderTab = folderName[0] - '0';
        if (!names.insert(entry.name).second) fail(item, entry.name + " is listed twice");
        if (!fs::is_regular_file(entry.file)) fail(item, entry.file.string() + " does not exist");
        listed.insert(entry.file);
        const int tab = static_cast<int>(entries.size()) / kProjectsPerTab + 1;
        if (entry.folderTab != 0 && entry.folderTab != tab)
            notes.push_back(entry.name + " lies in the folder of tab " + std::to_string(entry.folderTab) + " and shows in tab " +
                            std::to_string(tab));
        entries.push_back(entry);
    }
    if (entries.empty() || entries.size() > static_cast<size_t>(kMaxLibraryProjects))
        fail(root["projects"], "the library holds 1 to " + std::to_string(kMaxLibraryProjects) + " projects");
    for (const auto& file : fs::recursive_directory_iterator(folder)) {
        if (!file.is_regular_file() || file.path().extension() != ".yaml" || file.path() == indexFile) continue;
        if (!listed.count(file.path()))
            throw LibraryError(file.path().string() + ": not listed in " + where);
    }
    return entries;
}

}  // namespace projectgen
