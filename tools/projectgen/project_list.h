// The project list resource: one "NAME.prg" line per built-in project, in
// the order the editor shows them, scrambled as the plug-in expects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace projectgen {

std::vector<uint8_t> projectListResource(const std::vector<std::string>& names);

}  // namespace projectgen
