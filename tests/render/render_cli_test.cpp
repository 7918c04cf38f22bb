// The talvex-render executable itself: exit codes, --info, a plain render.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/render/render_test_support.h"

using namespace render_test;

namespace {

struct Command {
    int exitCode;
    std::string output;
};

Command run(const std::string& arguments) {
    std::string command = std::string(TALVEX_RENDER_EXE) + " " + arguments + " 2>&1";
    Command result{-1, ""};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.output.append(buffer, got);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

const std::string kProbe = TALVEX_RENDER_PROBE_PATH;

TEST(RenderCommand, ExitCodesTellWhatWentWrong) {
    EXPECT_EQ(run("--help").exitCode, 0);
    Command none = run("");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.output.find("usage: talvex-render"), std::string::npos);
    EXPECT_EQ(run(kProbe + " -o /dev/null -d 10 --bogus").exitCode, 1);
    EXPECT_EQ(run(kProbe + " -o /dev/null -d 10 -b 0").exitCode, 1);
    EXPECT_EQ(run(kProbe + " -o /dev/null -d 10 --transport stop@soon").exitCode, 1);
    Command missing = run(kProbe + " -o /dev/null -m /nonexistent.mid");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.output.find("/nonexistent.mid"), std::string::npos);
    std::string notAPlugin = tempPath("not-a-plugin.so");
    writeText(notAPlugin, "plain text");
    EXPECT_EQ(run(notAPlugin + " -o /dev/null -d 10").exitCode, 3);
    EXPECT_EQ(run(kProbe + " -o /nonexistent-folder/x.wav -d 10").exitCode, 4);
}

TEST(RenderCommand, InfoListsWhatThePluginDeclares) {
    Command info = run(kProbe + " --info");
    ASSERT_EQ(info.exitCode, 0) << info.output;
    for (const char* line : {"entry: VSTPluginMain\n", "effect name: Render probe\n", "unique id: 0x54527062 'TRpb'\n",
                             "outputs: 4\n", "programs: 4\n", "category: 2 (synth)\n", "program 3: Probe 3\n",
                             "parameter 1: Pan = 0.500  (0.5)\n", "output 2: Probe 2 (flags 1)\n",
                             "flags: 0x0130 (replacing, chunks, synth)\n"})
        EXPECT_NE(info.output.find(line), std::string::npos) << line << info.output;
}

TEST(RenderCommand, RendersAFileFromAnEventList) {
    std::string events = tempPath("events.txt");
    std::string wav = tempPath("out.wav");
    writeText(events, "0.5s note_on 0 60 127\n");
    Command result = run(kProbe + " -e " + events + " -o " + wav + " --tail 0.5s -r 22050");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "");  // quiet unless asked, no progress bar on a pipe
    Wav out = readWav(wav);
    EXPECT_EQ(out.sampleRate, 22050);
    EXPECT_EQ(out.frames, 11026 + 11025);
    EXPECT_EQ(nonZeroFrames(out.samples[0]), (std::vector<int64_t>{11025}));
}


#ifdef TALVEX_PLUGIN_PATH
// Level of track 1 in user program 0 of a saved bank chunk: after the
// header (68 bytes), the project name (128), the program name (24), six
// floats and 40 reserved bytes.
float firstTrackLevel(const std::vector<uint8_t>& bank) {
    constexpr size_t kAt = 68 + 128 + 24 + 24 + 40;
    float level = -1.0f;
    if (bank.size() >= kAt + 4) std::memcpy(&level, bank.data() + kAt, 4);
    return level;
}

TEST(RenderCommand, TalvexParameterAfterAProjectLoadIsKept) {
    // Parameter 65 is the level of planet 0; Tlvx/Proj loads a built-in
    // project into the current program, with the project's own levels.
    const std::string plugin = TALVEX_PLUGIN_PATH;
    const std::string after = tempPath("talvex-after.chunk");
    const std::string before = tempPath("talvex-before.chunk");
    Command a = run(plugin + " -o /dev/null -d 512 --vendor-specific Tlvx,Proj,1 --param 65=0.25 --save-chunk " + after);
    ASSERT_EQ(a.exitCode, 0) << a.output;
    EXPECT_EQ(firstTrackLevel(readBytes(after)), 32.0f);
    Command b = run(plugin + " -o /dev/null -d 512 --param 65=0.25 --vendor-specific Tlvx,Proj,1 --save-chunk " + before);
    ASSERT_EQ(b.exitCode, 0) << b.output;
    const float projectLevel = firstTrackLevel(readBytes(before));
    EXPECT_GT(projectLevel, 0.0f);
    EXPECT_NE(projectLevel, 32.0f);  // the project load came last and set its own level
}
#endif

}  // namespace
