// Keeps the sample library's lines in the build's resource list
// (resources/resources.list: "TYPE NAME relative-path" lines, '#' comments).
// Other lines of the list belong to other parts of the build and are kept
// exactly as they are.
#pragma once

#include <string>
#include <vector>

namespace samplegen {

struct ResourceLine {
    std::string type;
    std::string name;
    std::string path;  // relative to the list's folder
};

// Replaces every line whose path lies under `ownedPrefix` (and the comment
// that introduces them) with `lines`, appended at the end under `comment`.
// Creates the list with a header when it does not exist.
bool updateResourceList(const std::string& listPath, const std::string& ownedPrefix, const std::string& comment,
                        const std::vector<ResourceLine>& lines, std::string& error);

}  // namespace samplegen
