// The Linux file chooser and document opener, with stand-ins for zenity,
// kdialog and xdg-open on a PATH of the test's own: the arguments they get,
// the answer read through the pipe without blocking, cancel, a chooser still
// running when the editor closes, and neither program installed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/editor_window.h"

namespace {

class FakeTools : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/talvex-dialog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        const char* path = std::getenv("PATH");
        savedPath = path != nullptr ? path : "";
        setenv("PATH", folder.c_str(), 1);  // only the stand-ins are found
    }
    void TearDown() override {
        setenv("PATH", savedPath.c_str(), 1);
        std::system(("rm -rf " + folder).c_str());
    }
    void tool(const std::string& name, const std::string& body) {
        const std::string file = folder + "/" + name;
        std::ofstream(file) << "#!/bin/sh\nPATH=/usr/bin:/bin\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " << folder << "/" << name
                            << ".args\n"
                            << body << "\n";
        chmod(file.c_str(), 0755);
    }
    std::string read(const std::string& name) {
        std::ifstream in(folder + "/" + name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    platform::FileDialog::State waitForAnswer(platform::FileDialog& dialog, std::string& path) {
        for (int i = 0; i < 500; ++i) {
            platform::FileDialog::State state = dialog.poll(path);
            if (state != platform::FileDialog::State::kPending) return state;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return platform::FileDialog::State::kPending;
    }

    std::string folder;
    std::string savedPath;
    platform::FileDialog::Options saveBank{true, "Save Bank", "FXB File", "fxb"};
    platform::FileDialog::Options loadBank{false, "Load Bank", "FXB File", "fxb"};
};

TEST_F(FakeTools, ZenityAnswerIsReadThroughThePipe) {
    tool("zenity", "sleep 0.3; echo '/home/user/my banks/a.fxb'");
    tool("kdialog", "echo /wrong");
    auto dialog = platform::FileDialog::start(saveBank, nullptr);
    ASSERT_NE(dialog, nullptr);
    std::string path = "untouched";
    EXPECT_EQ(dialog->poll(path), platform::FileDialog::State::kPending);  // never waits for the chooser
    EXPECT_EQ(path, "untouched");
    EXPECT_EQ(waitForAnswer(*dialog, path), platform::FileDialog::State::kChosen);
    EXPECT_EQ(path, "/home/user/my banks/a.fxb");
    EXPECT_EQ(read("zenity.args"),
              "--file-selection\n--title=Save Bank\n--file-filter=FXB File | *.fxb\n--save\n--confirm-overwrite\n");
    std::string again;
    EXPECT_EQ(dialog->poll(again), platform::FileDialog::State::kChosen);  // the answer stays
    EXPECT_EQ(again, path);
}

TEST_F(FakeTools, CancelFailureAndGarbageAreNoChoice) {
    tool("zenity", "exit 1");
    auto cancelled = platform::FileDialog::start(loadBank, nullptr);
    ASSERT_NE(cancelled, nullptr);
    std::string path;
    EXPECT_EQ(waitForAnswer(*cancelled, path), platform::FileDialog::State::kCancelled);
    EXPECT_EQ(read("zenity.args"), "--file-selection\n--title=Load Bank\n--file-filter=FXB File | *.fxb\n");

    tool("zenity", "printf 'one\\ntwo\\n'");  // two lines are not one path
    auto twoLines = platform::FileDialog::start(loadBank, nullptr);
    ASSERT_NE(twoLines, nullptr);
    EXPECT_EQ(waitForAnswer(*twoLines, path), platform::FileDialog::State::kCancelled);

    tool("zenity", "echo /half/written.fxb; kill -9 $$");
    auto killed = platform::FileDialog::start(loadBank, nullptr);
    ASSERT_NE(killed, nullptr);
    EXPECT_EQ(waitForAnswer(*killed, path), platform::FileDialog::State::kCancelled);
}

TEST_F(FakeTools, KdialogWhenThereIsNoZenity) {
    tool("kdialog", "echo /tmp/b.fxb");
    auto dialog = platform::FileDialog::start(loadBank, nullptr);
    ASSERT_NE(dialog, nullptr);
    std::string path;
    EXPECT_EQ(waitForAnswer(*dialog, path), platform::FileDialog::State::kChosen);
    EXPECT_EQ(path, "/tmp/b.fxb");
    EXPECT_EQ(read("kdialog.args"), "--title\nLoad Bank\n--getopenfilename\n.\n*.fxb|FXB File\n");
}

TEST_F(FakeTools, NoChooserInstalledMeansNoDialog) {
    EXPECT_EQ(platform::FileDialog::start(loadBank, nullptr), nullptr);
    EXPECT_FALSE(platform::openDocument("/tmp/manual.pdf"));
}

TEST_F(FakeTools, ClosingWithTheChooserOpenEndsIt) {
    tool("zenity", "echo $$ > " + folder + "/pid; exec sleep 60");
    auto dialog = platform::FileDialog::start(loadBank, nullptr);
    ASSERT_NE(dialog, nullptr);
    std::string path;
    for (int i = 0; i < 300 && read("pid").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int pid = std::atoi(read("pid").c_str());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(dialog->poll(path), platform::FileDialog::State::kPending);
    dialog.reset();                   // must not wait out the chooser's minute
    EXPECT_NE(kill(pid, 0), 0);       // gone and reaped
}

TEST_F(FakeTools, DocumentsOpenThroughXdgOpenWithoutWaiting) {
    tool("xdg-open", "sleep 0.2; echo done > " + folder + "/opened");
    EXPECT_TRUE(platform::openDocument("/usr/share/doc/talvex/manual file.pdf"));
    EXPECT_EQ(read("opened"), "");  // returned before the viewer finished
    for (int i = 0; i < 300 && read("opened").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(read("opened"), "done\n");
    EXPECT_EQ(read("xdg-open.args"), "/usr/share/doc/talvex/manual file.pdf\n");
    EXPECT_FALSE(platform::hasNativeMenus());
}

}  // namespace
