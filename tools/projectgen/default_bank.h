// The 24 user programs a first start and the editor's "New" begin with:
// slot i holds built-in project i with the project's own performance, as
// the plug-in's Store current state records it right after loading the
// project, named after the project. Written as a bank chunk, so the
// plug-in reads it like any bank instead of loading 24 projects when a
// host creates it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace projectgen {

// The user programs of a bank: the first projects of the list get one.
constexpr int kDefaultPrograms = 24;

struct WrittenProject {
    std::string name;
    std::vector<uint8_t> bytes;  // the project text as written
    // The program's mute key and its switch (a fresh plug-in's when the
    // description gives none).
    int muteKey = 48;
    bool muteKeySwitch = false;
};

std::vector<uint8_t> defaultBank(const std::vector<WrittenProject>& projects);

}  // namespace projectgen
