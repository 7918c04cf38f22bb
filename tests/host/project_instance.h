// A built-in project played on the test host the way a host plays it: a
// fixed tempo of 120 and 4/4, one block size throughout, and MIDI notes
// sent at the start of the block they are due in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/host/test_host_fixture.h"

struct BlockNote {
    int block;
    uint8_t status, key, velocity;
};

// The position of a built-in project in the plug-in's list, -1 when the
// list has no such project (the list's order changes as projects come).
int builtInProjectIndex(const std::string& name);

class ProjectInstance {
public:
    // Loads built-in project `project` as the vendor call does and switches
    // the instance on; `sleepWhenQuiet` off renders every track in full.
    ProjectInstance(TestHost& host, int project, int blockFrames, bool sleepWhenQuiet = true);
    ~ProjectInstance();
    ProjectInstance(const ProjectInstance&) = delete;
    ProjectInstance& operator=(const ProjectInstance&) = delete;

    // Renders block number `block`, sending the notes due in it first, and
    // appends both channels, interleaved, to `out`.
    void play(int block, const std::vector<BlockNote>& notes, std::vector<float>& out);
    // Renders blocks 0 to blocks - 1 likewise; returns what they rendered.
    std::vector<float> play(int blocks, const std::vector<BlockNote>& notes);
    // effMainsChanged 0, the block size again, effMainsChanged 1.
    void switchOffAndOn();

    Effect& main() { return *main_; }

private:
    int blockFrames_;
    AEffect* effect_ = nullptr;
    Effect* main_ = nullptr;
    std::vector<float> left_, right_;
};
