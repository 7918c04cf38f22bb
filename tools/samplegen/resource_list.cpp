#include "tools/samplegen/resource_list.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace samplegen {

namespace {

const char* const kNewListHeader =
    "# Resources compiled into the plug-in: one line per entry,\n"
    "#   TYPE NAME relative-path\n"
    "# the path relative to this folder.\n";

// The third field of a resource line, or empty for comments and blanks.
std::string pathField(const std::string& line) {
    if (line.empty() || line[0] == '#') return std::string();
    std::istringstream fields(line);
    std::string type, name, path;
    fields >> type >> name >> path;
    return path;
}

}  // namespace

bool updateResourceList(const std::string& listPath, const std::string& ownedPrefix, const std::string& comment,
                        const std::vector<ResourceLine>& lines, std::string& error) {
    std::vector<std::string> kept;
    std::ifstream in(listPath, std::ios::binary);
    if (in) {
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line == "# " + comment) continue;
            if (pathField(line).rfind(ownedPrefix, 0) == 0 && !pathField(line).empty()) continue;
            kept.push_back(line);
        }
        while (!kept.empty() && kept.back().empty()) kept.pop_back();
    } else {
        std::istringstream header(kNewListHeader);
        std::string line;
        while (std::getline(header, line)) kept.push_back(line);
    }

    std::string text;
    for (const std::string& line : kept) text += line + "\n";
    text += "\n# " + comment + "\n";
    for (const ResourceLine& r : lines) text += r.type + " " + r.name + " " + r.path + "\n";

    const std::string temporary = listPath + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out) {
            error = "cannot write " + temporary;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), listPath.c_str()) != 0) {
        error = "cannot replace " + listPath;
        return false;
    }
    return true;
}

}  // namespace samplegen
