#include "tools/projectgen/project_list.h"

#include "project/project_list.h"

namespace projectgen {

std::vector<uint8_t> projectListResource(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += name + ".prg\r\n";
    return scrambleProjectList(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace projectgen
