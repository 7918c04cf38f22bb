// Every built-in project measured once per test program (two players on
// two threads), and the report the figures are written to.
#pragma once

#include <string>
#include <vector>

#include "tools/library_report/project_measurements.h"

namespace library_test {

// All projects, or the subset a sanitizer build has time for.
const std::vector<library::ProjectFigures>& figures();

// Lines collected by the checks, written to the report when the program
// ends, after the figures table.
void note(const std::string& section, const std::string& line);

// The project's family as the library's index files it (the number of
// its folder), 0 when the index does not name it.
int family(const std::string& project);

}  // namespace library_test
