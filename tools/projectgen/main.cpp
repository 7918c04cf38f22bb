// projectgen: writes the built-in projects (".prg"), the scrambled project
// list "talvex.dat", the default user programs "defaultbank.dat" and the
// resource-list lines that carry them.
//   projectgen OUTPUT_DIR            write everything into OUTPUT_DIR
//   projectgen --parameters TITLE    list a module's parameters and displays
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tools/projectgen/ball_placement.h"
#include "tools/projectgen/default_bank.h"
#include "tools/projectgen/module_state.h"
#include "tools/projectgen/project_list.h"
#include "tools/projectgen/project_writer.h"
#include "tools/projectgen/sound_library.h"

namespace {

bool writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
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

// The library as written: every ball placed where its targets are.
std::vector<projectgen::ProjectSpec> placedLibrary() {
    std::vector<projectgen::ProjectSpec> library = projectgen::soundLibrary();
    for (projectgen::ProjectSpec& project : library)
        for (const std::string& note : projectgen::placeBalls(project)) std::fprintf(stderr, "projectgen: %s\n", note.c_str());
    return library;
}

}  // namespace

void describeSlot(const char* role, const projectgen::SlotSpec& slot) {
    if (!slot.used()) return;
    std::printf("  %s %s:", role, slot.path.c_str());
    for (int i = 0; i < slot.module->parameterCount(); ++i)
        std::printf(" %s=%s;", slot.module->parameterName(i).c_str(), slot.module->display(i).c_str());
    std::printf("\n");
}

int describe() {
    for (const projectgen::ProjectSpec& project : placedLibrary()) {
        std::printf("%s\n", project.name.c_str());
        describeSlot("master insert", project.masterInserts[0]);
        for (const auto& send : project.sends) describeSlot("send", send);
        for (const auto& track : project.tracks) {
            describeSlot(track.title.c_str(), track.instrument);
            for (const auto& insert : track.inserts) describeSlot("insert", insert);
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--parameters") == 0) return listParameters(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "--describe") == 0) return describe();
    if (argc != 2) {
        std::fprintf(stderr, "usage: projectgen OUTPUT_DIR | projectgen --parameters MODULE\n");
        return 1;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    std::vector<std::string> names;
    std::vector<projectgen::WrittenProject> written;
    std::string resourceLines;
    for (const projectgen::ProjectSpec& project : placedLibrary()) {
        const std::string file = project.name + ".prg";
        written.push_back({project.name, projectgen::writeProject(project)});
        if (!writeFile(folder / file, written.back().bytes)) {
            std::fprintf(stderr, "projectgen: cannot write %s\n", file.c_str());
            return 1;
        }
        names.push_back(project.name);
        resourceLines += "DATA " + file + " projects/" + file + "\n";
    }
    if (!writeFile(folder / "talvex.dat", projectgen::projectListResource(names))) return 1;
    resourceLines += "DATA talvex.dat projects/talvex.dat\n";
    if (!writeFile(folder / "defaultbank.dat", projectgen::defaultBank(written))) return 1;
    resourceLines += "DATA defaultbank.dat projects/defaultbank.dat\n";
    std::ofstream(folder / "resources.lines") << resourceLines;
    std::printf("projectgen: %zu projects written to %s\n", names.size(), folder.string().c_str());
    return 0;
}
