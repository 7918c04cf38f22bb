#include "tools/projectgen/generated_files.h"

#include <algorithm>
#include <set>
#include <sstream>

namespace projectgen {

namespace {

constexpr const char* kHeading = "# The built-in projects and their list, written by tools/projectgen.";

// "DATA X projects/..." (any amount of blank between the fields).
bool namesAProjectFile(const std::string& line) {
    std::istringstream fields(line);
    std::string type, name, path;
    return (fields >> type >> name >> path) && type == "DATA" && path.rfind("projects/", 0) == 0;
}

}  // namespace

std::vector<std::string> projectResourceLines(const std::vector<std::string>& names) {
    std::vector<std::string> lines;
    lines.push_back("DATA talvex.dat projects/talvex.dat");
    lines.push_back("DATA defaultbank.dat projects/defaultbank.dat");
    for (const std::string& name : names) lines.push_back("DATA " + name + ".prg projects/" + name + ".prg");
    return lines;
}

std::string replaceProjectResourceLines(const std::string& text, const std::vector<std::string>& lines) {
    std::string block;
    for (const std::string& line : lines) block += line + "\n";
    std::string out;
    bool placed = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool lastWithoutNewline = end == std::string::npos;
        if (lastWithoutNewline) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (namesAProjectFile(line)) {
            if (!placed) out += block;
            placed = true;
        } else {
            out.append(text, start, end - start);
            if (!lastWithoutNewline) out += '\n';
        }
        start = end + 1;
    }
    if (!placed) {
        if (!out.empty() && out.back() != '\n') out += '\n';
        if (!out.empty()) out += '\n';
        out += std::string(kHeading) + "\n" + block;
    }
    return out;
}

std::vector<std::filesystem::path> staleProjectFiles(const std::filesystem::path& folder, const std::vector<std::string>& names) {
    namespace fs = std::filesystem;
    std::set<std::string> kept = {"talvex.dat", "defaultbank.dat"};
    for (const std::string& name : names) kept.insert(name + ".prg");
    std::vector<fs::path> stale;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (!entry.is_regular_file()) continue;
        const std::string file = entry.path().filename().string();
        // resources.lines: what earlier versions of the tool wrote beside the projects.
        const bool ours = entry.path().extension() == ".prg" || file == "resources.lines";
        if (ours && !kept.count(file)) stale.push_back(entry.path());
    }
    std::sort(stale.begin(), stale.end());
    return stale;
}

}  // namespace projectgen
