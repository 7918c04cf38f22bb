// The library's index: order, tabs, and the faults of a library folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/projectgen/generated_files.h"
#include "tools/projectgen/library_index.h"
#include "tools/projectgen/project_reader.h"

namespace {

namespace fs = std::filesystem;

class LibraryFolder : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("talvex_library_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "1-basses-leads");
        fs::create_directories(root / "2-keys");
    }
    void TearDown() override { fs::remove_all(root); }
    void write(const fs::path& relative, const std::string& text) { std::ofstream(root / relative) << text; }
    std::string fault() {
        std::vector<std::string> notes;
        try {
            projectgen::readLibraryIndex(root, notes);
        } catch (const projectgen::LibraryError& e) {
            return e.what();
        }
        return "";
    }
    fs::path root;
};

TEST_F(LibraryFolder, ListedFilesInOrderWithTheirTabs) {
    write("1-basses-leads/ONE.yaml", "");
    write("2-keys/TWO.yaml", "");
    write("library.yaml", "projects:\n  - 1-basses-leads/ONE\n  - 2-keys/TWO\n");
    std::vector<std::string> notes;
    const auto entries = projectgen::readLibraryIndex(root, notes);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "ONE");
    EXPECT_EQ(entries[1].file, root / "2-keys" / "TWO.yaml");
    EXPECT_EQ(entries[1].folderTab, 2);
    // TWO shows in the first tab while it belongs to the second.
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("TWO"), std::string::npos);
}

TEST_F(LibraryFolder, FaultsOfTheIndex) {
    write("1-basses-leads/ONE.yaml", "");
    write("library.yaml", "projects:\n  - 1-basses-leads/ONE\n  - 1-basses-leads/ONE\n");
    EXPECT_NE(fault().find("library.yaml:3: ONE is listed twice"), std::string::npos) << fault();
    write("library.yaml", "projects:\n  - 1-basses-leads/ONE\n  - 2-keys/GONE\n");
    EXPECT_NE(fault().find(":3: "), std::string::npos) << fault();
    EXPECT_NE(fault().find("does not exist"), std::string::npos);
    write("library.yaml", "projects:\n  - ../ONE\n");
    EXPECT_NE(fault().find("folder/NAME"), std::string::npos) << fault();
    write("library.yaml", "projects:\n  - 1-basses-leads/ONE\n");
    write("2-keys/STRAY.yaml", "");
    EXPECT_NE(fault().find("STRAY.yaml: not listed"), std::string::npos) << fault();
}

TEST(ShippedLibrary, EveryDescriptionReadsAndIsNamedAfterItsFile) {
    std::vector<std::string> notes;
    const auto entries = projectgen::readLibraryIndex(LIBRARY_DIR, notes);
    ASSERT_GE(entries.size(), 14u);
    for (const auto& entry : entries) {
        SCOPED_TRACE(entry.name);
        EXPECT_EQ(projectgen::readProjectFile(entry.file).name, entry.name);
    }
}

TEST(ShippedLibrary, EveryProjectIsCarriedAsAResource) {
    // A project missing from the resource list is written and committed but
    // never reaches the plug-in; one left over from a dropped project makes
    // the build look for a file that is gone. The list carries exactly the
    // lines the tool writes, in the library's order.
    std::ifstream list(RESOURCES_LIST);
    std::string text((std::istreambuf_iterator<char>(list)), std::istreambuf_iterator<char>());
    std::vector<std::string> notes;
    std::vector<std::string> names;
    for (const auto& entry : projectgen::readLibraryIndex(LIBRARY_DIR, notes)) {
        EXPECT_NE(text.find("DATA " + entry.name + ".prg projects/" + entry.name + ".prg\n"), std::string::npos) << entry.name;
        names.push_back(entry.name);
    }
    EXPECT_EQ(projectgen::replaceProjectResourceLines(text, projectgen::projectResourceLines(names)), text);
}

TEST(ResourceList, ProjectLinesAreReplacedInPlaceAndTheRestKeptByteForByte) {
    const std::string before =
        "# heading\r\n"
        "DATA probe test/probe.txt\n"
        "\n"
        "# projects\n"
        "DATA talvex.dat projects/talvex.dat\n"
        "DATA defaultbank.dat projects/defaultbank.dat\n"
        "DATA OLD.prg projects/OLD.prg\n"
        "DATA  KEPT.prg\tprojects/KEPT.prg\r\n"
        "\n"
        "PNG background.png skin/background.png\n"
        "DATA STRAY.prg projects/STRAY.prg\n"
        "DATA notes.txt docs/projects/notes.txt";
    const std::string after = projectgen::replaceProjectResourceLines(before, projectgen::projectResourceLines({"KEPT", "NEW"}));
    EXPECT_EQ(after,
              "# heading\r\n"
              "DATA probe test/probe.txt\n"
              "\n"
              "# projects\n"
              "DATA talvex.dat projects/talvex.dat\n"
              "DATA defaultbank.dat projects/defaultbank.dat\n"
              "DATA KEPT.prg projects/KEPT.prg\n"
              "DATA NEW.prg projects/NEW.prg\n"
              "\n"
              "PNG background.png skin/background.png\n"
              "DATA notes.txt docs/projects/notes.txt");
    // Written again, nothing moves.
    EXPECT_EQ(projectgen::replaceProjectResourceLines(after, projectgen::projectResourceLines({"KEPT", "NEW"})), after);
}

TEST(ResourceList, AListWithoutProjectsGetsThemUnderAHeadingAtTheEnd) {
    const std::string after = projectgen::replaceProjectResourceLines("PNG a.png skin/a.png", projectgen::projectResourceLines({"ONE"}));
    EXPECT_EQ(after,
              "PNG a.png skin/a.png\n\n"
              "# The built-in projects and their list, written by tools/projectgen.\n"
              "DATA talvex.dat projects/talvex.dat\n"
              "DATA defaultbank.dat projects/defaultbank.dat\n"
              "DATA ONE.prg projects/ONE.prg\n");
}

TEST_F(LibraryFolder, StaleProjectFilesAreTheToolsOwnLeftovers) {
    const fs::path out = root / "projects";
    fs::create_directories(out / "sub.prg");
    for (const char* file : {"KEPT.prg", "RENAMED.prg", "talvex.dat", "defaultbank.dat", "resources.lines", "README.md", "DROPPED.prg"})
        std::ofstream(out / file) << "x";
    const std::vector<fs::path> stale = projectgen::staleProjectFiles(out, {"KEPT", "NEW"});
    ASSERT_EQ(stale.size(), 3u);
    EXPECT_EQ(stale[0], out / "DROPPED.prg");
    EXPECT_EQ(stale[1], out / "RENAMED.prg");
    EXPECT_EQ(stale[2], out / "resources.lines");
    EXPECT_TRUE(projectgen::staleProjectFiles(root / "missing", {"KEPT"}).empty());
}

}  // namespace
