// Writes the inputs of the resource-embedding test into a folder: an empty
// file, every byte value, text full of characters a C++ literal must escape,
// and a large deterministic blob.
#include <cstdint>
#include <cstdio>
#include <string>

namespace {
bool writeFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string dir = argv[1];
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    std::string tricky = "\"quoted\" \\backslash\\ ?\?= ?\?/ trigraph-like\n\t\r";
    tricky += std::string(1, '\0') + "after a zero \x7f\xff\x80 \\x41 \\101 ?";
    std::string blob;
    blob.resize(3u << 20);
    uint32_t state = 12345;
    for (char& c : blob) {
        state = state * 1664525u + 1013904223u;  // any fixed sequence will do
        c = static_cast<char>(state >> 24);
    }
    bool ok = writeFile(dir + "/empty.bin", "") && writeFile(dir + "/all_bytes.bin", all) &&
              writeFile(dir + "/tricky.txt", tricky) && writeFile(dir + "/blob.bin", blob);
    return ok ? 0 : 1;
}
