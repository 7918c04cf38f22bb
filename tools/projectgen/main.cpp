// projectgen: writes the built-in projects (".prg"), the scrambled project
// list "talvex.dat" and the default user programs "defaultbank.dat" from the
// library's descriptions.
//   projectgen [--library DIR] OUTPUT_DIR   write everything into OUTPUT_DIR,
//       remove the project files there that no listed project writes, and
//       rewrite the project lines of OUTPUT_DIR/../resources.list (the
//       plug-in's resource list) when there is one
//   projectgen --check FILE...              read descriptions, report faults
//   projectgen --parameters TITLE           list a module's parameters and displays
//   projectgen [--library DIR] --describe   every module setting of the library
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/projectgen/ball_placement.h"
#include "tools/projectgen/default_bank.h"
#include "tools/projectgen/generated_files.h"
#include "tools/projectgen/library_index.h"
#include "tools/projectgen/module_state.h"
#include "tools/projectgen/project_list.h"
#include "tools/projectgen/project_reader.h"
#include "tools/projectgen/project_writer.h"

namespace {

namespace fs = std::filesystem;

bool writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

int listParameters(const char* title) {
    projectgen::ModuleState module(title);
    if (!module.valid()) {
        std::fprintf(stderr, "projectgen: no module %s\n", title);
        return 1;
    }
    for (int i = 0; i < module.parameterCount(); ++i) std::printf("%3d %-24s %s\n", i, module.parameterName(i).c_str(), module.display(i).c_str());
    return 0;
}

// The library as described: every ball placed where its targets are.
std::vector<projectgen::ProjectSpec> placedLibrary(const fs::path& folder) {
    std::vector<std::string> notes;
    const std::vector<projectgen::LibraryEntry> entries = projectgen::readLibraryIndex(folder, notes);
    for (const std::string& note : notes) std::fprintf(stderr, "projectgen: %s\n", note.c_str());
    std::vector<projectgen::ProjectSpec> library;
    for (const projectgen::LibraryEntry& entry : entries) {
        library.push_back(projectgen::readProjectFile(entry.file));
        for (const std::string& note : projectgen::placeBalls(library.back()))
            std::fprintf(stderr, "projectgen: %s\n", note.c_str());
    }
    return library;
}

void describeSlot(const char* role, const projectgen::SlotSpec& slot) {
    if (!slot.used()) return;
    std::printf("  %s %s:", role, slot.path.c_str());
    for (int i = 0; i < slot.module->parameterCount(); ++i)
        std::printf(" %s=%s;", slot.module->parameterName(i).c_str(), slot.module->display(i).c_str());
    std::printf("\n");
}

int describe(const fs::path& folder) {
    for (const projectgen::ProjectSpec& project : placedLibrary(folder)) {
        std::printf("%s\n", project.name.c_str());
        for (const auto& insert : project.masterInserts) describeSlot("master insert", insert);
        for (const auto& send : project.sends) describeSlot("send", send);
        for (const auto& track : project.tracks) {
            describeSlot(track.title.c_str(), track.instrument);
            for (const auto& insert : track.inserts) describeSlot("insert", insert);
        }
    }
    return 0;
}

int check(int count, char** files) {
    int faults = 0;
    for (int i = 0; i < count; ++i) {
        try {
            projectgen::ProjectSpec project = projectgen::readProjectFile(files[i]);
            for (const std::string& note : projectgen::placeBalls(project)) std::fprintf(stderr, "%s: %s\n", files[i], note.c_str());
        } catch (const projectgen::LibraryError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            ++faults;
        }
    }
    return faults == 0 ? 0 : 1;
}

bool writeText(const fs::path& path, const std::string& text) {
    return writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// The resource list beside the output folder, if any, carries exactly the
// projects written.
int updateResourceList(const fs::path& folder, const std::vector<std::string>& names) {
    const fs::path list = folder.parent_path() / "resources.list";
    if (!fs::is_regular_file(list)) return 0;
    std::ifstream in(list, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string updated = projectgen::replaceProjectResourceLines(text, projectgen::projectResourceLines(names));
    if (updated == text) return 0;
    if (!writeText(list, updated)) {
        std::fprintf(stderr, "projectgen: cannot write %s\n", list.string().c_str());
        return 1;
    }
    std::printf("projectgen: %s updated\n", list.string().c_str());
    return 0;
}

int generate(const fs::path& library, const fs::path& folder) {
    fs::create_directories(folder);
    std::vector<std::string> names;
    std::vector<projectgen::WrittenProject> written;
    for (const projectgen::ProjectSpec& project : placedLibrary(library)) {
        const std::string file = project.name + ".prg";
        written.push_back({project.name, projectgen::writeProject(project), project.muteKey, project.muteKeySwitch});
        if (project.muteKeyGiven && written.size() > static_cast<size_t>(projectgen::kDefaultPrograms))
            std::fprintf(stderr, "projectgen: %s: its mute key is kept by no user program (only the first %d projects have one)\n",
                         project.name.c_str(), projectgen::kDefaultPrograms);
        if (!writeFile(folder / file, written.back().bytes)) {
            std::fprintf(stderr, "projectgen: cannot write %s\n", file.c_str());
            return 1;
        }
        names.push_back(project.name);
    }
    if (!writeFile(folder / "talvex.dat", projectgen::projectListResource(names))) return 1;
    if (!writeFile(folder / "defaultbank.dat", projectgen::defaultBank(written))) return 1;
    for (const fs::path& stale : projectgen::staleProjectFiles(folder, names)) {
        std::error_code error;
        if (!fs::remove(stale, error)) {
            std::fprintf(stderr, "projectgen: cannot remove %s\n", stale.string().c_str());
            return 1;
        }
        std::printf("projectgen: %s removed (no listed project writes it)\n", stale.filename().string().c_str());
    }
    std::printf("projectgen: %zu projects written to %s\n", names.size(), folder.string().c_str());
    return updateResourceList(folder, names);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::strcmp(argv[1], "--parameters") == 0) return listParameters(argv[2]);
        if (argc >= 3 && std::strcmp(argv[1], "--check") == 0) return check(argc - 2, argv + 2);
        fs::path library = TALVEX_LIBRARY_DIR;
        int next = 1;
        if (argc >= 3 && std::strcmp(argv[1], "--library") == 0) {
            library = argv[2];
            next = 3;
        }
        if (argc == next + 1 && std::strcmp(argv[next], "--describe") == 0) return describe(library);
        // An unknown option is not a folder to write 96 projects into.
        if (argc != next + 1 || argv[next][0] == '-') {
            std::fprintf(stderr,
                         "usage: projectgen [--library DIR] OUTPUT_DIR | projectgen --check FILE... | "
                         "projectgen --parameters MODULE | projectgen [--library DIR] --describe\n");
            return 1;
        }
        return generate(library, argv[next]);
    } catch (const projectgen::LibraryError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
