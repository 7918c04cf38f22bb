// A host for editor tests: the engine test host underneath (time info,
// version answer, probe instruments), plus a log of every automation,
// begin-edit and end-edit call in the order the plug-in made them, and a
// settings folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/effect.h"
#include "tests/host/test_host_fixture.h"

struct HostCall {
    int opcode;
    int index;
    float value;
    bool operator==(const HostCall& o) const { return opcode == o.opcode && index == o.index && value == o.value; }
};

// Automation, begin-edit and end-edit calls, oldest first.
extern std::vector<HostCall> hostCalls;

class EditorTest : public ::testing::Test {
protected:
    // standalone: answer the version query as the maker's stand-alone host.
    void startPlugin(bool standalone);
    void SetUp() override;
    void TearDown() override;

    // Bytes of the bank chunk: a comparison of every user program.
    std::vector<uint8_t> bankBytes();

    TestHost host;
    AEffect* effect = nullptr;
    Effect* main = nullptr;
    std::filesystem::path config;
};
