// samplegen: synthesizes the project's own sample library and packs it into
// the plug-in's sample store.
//
//   samplegen <resources-folder>
//
// writes the sample files to <folder>/samples/files/ (for listening; not
// committed), the packed store entries to <folder>/samples/store/, the
// store's index to <folder>/samples/index.txt, and the matching lines of
// <folder>/resources.list. The output is the same, byte for byte, on every
// run.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "modules/sample_reader_aiff.h"
#include "modules/sample_reader_wav.h"
#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"
#include "tools/samplegen/resource_list.h"
#include "tools/samplegen/sample_catalogue.h"
#include "tools/samplegen/sample_file_writer.h"

namespace fs = std::filesystem;
using namespace samplegen;

namespace {

const char* const kListComment = "Sample library: written by tools/samplegen, regenerate rather than edit.";
const char* const kStoreFolder = "samples/store/";
const char* const kIndexFile = "samples/index.txt";

bool readFile(const fs::path& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool writeFile(const fs::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

// Reads the written file back with the plug-in's own readers: what the
// store will hold must decode to what was rendered.
bool decodesAsRendered(const std::vector<uint8_t>& file, const CatalogueEntry& entry, const RenderedSample& rendered,
                       std::string& problem) {
    DecodedSample decoded;
    bool ok = isAiff(entry.form) ? readAiffSample(file.data(), file.size(), SampleReadOptions{}, decoded)
                                 : readWavSample(file.data(), file.size(), SampleReadOptions{}, decoded);
    if (!ok) {
        problem = "the readers refuse it";
        return false;
    }
    if (decoded.frameCount != rendered.channels[0].size() || decoded.stereo != (rendered.channels.size() == 2) ||
        decoded.sampleRateHz != static_cast<float>(rendered.rateHz)) {
        problem = "frames, channels or rate differ";
        return false;
    }
    if (rendered.hasLoop && (!decoded.hasFileLoop || decoded.loopStartFrame != rendered.loopStartFrame ||
                             decoded.loopEndFrame != rendered.loopEndFrame)) {
        problem = "the loop differs";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: samplegen <resources-folder>\n");
        return 2;
    }
    const fs::path resources = argv[1];
    const fs::path files = resources / "samples" / "files";
    const fs::path store = resources / kStoreFolder;
    std::error_code ec;
    fs::create_directories(files, ec);
    fs::create_directories(store, ec);
    if (!fs::is_directory(files) || !fs::is_directory(store)) {
        std::fprintf(stderr, "samplegen: cannot create the folders under %s\n", resources.string().c_str());
        return 1;
    }

    std::vector<ResourceLine> lines;
    lines.push_back(ResourceLine{"DATA", sample_store::kIndexResourceName, kIndexFile});
    std::string index;
    std::set<std::string> packedNames;
    size_t packedBytes = 0;
    for (const CatalogueEntry& entry : sampleCatalogue()) {
        RenderedSample rendered = entry.render();
        const fs::path filePath = files / entry.fileName;
        std::string error;
        if (!writeSampleFile(rendered, entry.form, filePath.string(), error)) {
            std::fprintf(stderr, "samplegen: %s\n", error.c_str());
            return 1;
        }
        std::vector<uint8_t> bytes;
        std::string problem;
        if (!readFile(filePath, bytes) || !decodesAsRendered(bytes, entry, rendered, problem)) {
            std::fprintf(stderr, "samplegen: %s: %s\n", entry.fileName.c_str(), problem.c_str());
            return 1;
        }
        const std::string key = sample_store::storeKey(entry.fileName.c_str());
        const uint8_t marker = isAiff(entry.form) ? sample_store::kMarkerAiff : sample_store::kMarkerWav;
        std::vector<uint8_t> packed = sample_store::packEntry(marker, bytes.data(), bytes.size());
        const std::string packedName = key + ".pak";
        if (!writeFile(store / packedName, packed.data(), packed.size())) {
            std::fprintf(stderr, "samplegen: cannot write %s\n", (store / packedName).string().c_str());
            return 1;
        }
        packedNames.insert(packedName);
        packedBytes += packed.size();
        index += key + "\n";
        lines.push_back(ResourceLine{"DATA", key, kStoreFolder + packedName});
        std::printf("%-16s %6.3f s %s %5.1f kHz %8zu bytes\n", entry.fileName.c_str(),
                    static_cast<double>(rendered.channels[0].size()) / rendered.rateHz,
                    rendered.channels.size() == 2 ? "stereo" : "mono  ", rendered.rateHz / 1000.0, packed.size());
    }

    // Entries of samples no longer in the catalogue would linger unseen.
    for (const auto& file : fs::directory_iterator(store)) {
        if (file.path().extension() == ".pak" && packedNames.count(file.path().filename().string()) == 0) {
            fs::remove(file.path(), ec);
        }
    }
    if (!writeFile(resources / kIndexFile, index.data(), index.size())) {
        std::fprintf(stderr, "samplegen: cannot write the index\n");
        return 1;
    }
    std::string error;
    if (!updateResourceList((resources / "resources.list").string(), "samples/", kListComment, lines, error)) {
        std::fprintf(stderr, "samplegen: %s\n", error.c_str());
        return 1;
    }
    std::printf("%zu samples, %zu bytes packed\n", packedNames.size(), packedBytes);
    return 0;
}
