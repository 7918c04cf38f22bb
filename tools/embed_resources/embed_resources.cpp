// Build tool: turns a resource list (lines "TYPE NAME relative-path", '#'
// comments) into a C++ source that defines the lookup function of
// resources/embedded_resources.h over a compiled-in table.
//
//   talvex_embed_resources --list resources.list --base <dir> --output table.cpp
//                          [--function embeddedResources] [--depfile table.cpp.d]
//
// The bytes are written as string literals rather than as lists of integer
// initialisers: compilers read a literal of several megabytes in a fraction
// of the time (and memory) a brace list of the same size takes. Printable
// characters stand as themselves, everything else as a three-digit octal
// escape, which can never swallow the character after it.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::string type;
    std::string name;
    std::string path;
};

bool validType(const std::string& text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

// Windows takes a name that starts with a digit for a numeric id, so such
// names are refused here as well: both builds accept the same lists.
bool validName(const std::string& text) {
    if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.' && c != '+') return false;
    return true;
}

std::string trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

bool readList(const std::string& listPath, const std::string& baseDir, std::vector<Entry>& entries) {
    std::ifstream in(listPath);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open the list\n", listPath.c_str());
        return false;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        std::istringstream fields(line);
        Entry entry;
        fields >> entry.type >> entry.name;
        std::string rest;
        std::getline(fields, rest);
        rest = trim(rest);
        if (!validType(entry.type) || !validName(entry.name) || rest.empty() || rest.find('"') != std::string::npos) {
            std::fprintf(stderr, "%s:%d: expected 'TYPE NAME relative-path'\n", listPath.c_str(), lineNumber);
            return false;
        }
        for (char& c : entry.type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        entry.path = baseDir.empty() ? rest : baseDir + "/" + rest;
        entries.push_back(entry);
    }
    return true;
}

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Appends the bytes as a sequence of string literals, about 100 source
// characters per line.
void appendLiteral(std::string& out, const std::string& bytes) {
    static const char kOctal[] = "01234567";
    out += "    \"";
    size_t column = 0;
    for (unsigned char c : bytes) {
        if (column >= 100) {
            out += "\"\n    \"";
            column = 0;
        }
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '?') {
            out += static_cast<char>(c);
            column += 1;
        } else {
            out += '\\';
            out += kOctal[(c >> 6) & 7];
            out += kOctal[(c >> 3) & 7];
            out += kOctal[c & 7];
            column += 4;
        }
    }
    out += "\"";
}

// Paths in a depfile escape spaces with a backslash (Make syntax).
std::string depfilePath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

bool writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}

int usage() {
    std::fprintf(stderr,
                 "usage: talvex_embed_resources --list FILE --output FILE [--base DIR] [--function NAME] "
                 "[--depfile FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string listPath, outputPath, baseDir, depfile;
    std::string function = "embeddedResources";
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) return usage();
        std::string value = argv[++i];
        if (option == "--list")
            listPath = value;
        else if (option == "--output")
            outputPath = value;
        else if (option == "--base")
            baseDir = value;
        else if (option == "--function")
            function = value;
        else if (option == "--depfile")
            depfile = value;
        else
            return usage();
    }
    if (listPath.empty() || outputPath.empty()) return usage();
    if (baseDir.empty()) {
        size_t cut = listPath.find_last_of('/');
        baseDir = cut == std::string::npos ? std::string(".") : listPath.substr(0, cut);
    }

    std::vector<Entry> entries;
    if (!readList(listPath, baseDir, entries)) return 1;

    std::string out;
    out += "// Generated by talvex_embed_resources from " + listPath + "; do not edit.\n";
    out += "#include \"resources/embedded_resources.h\"\n\nnamespace {\n\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string bytes;
        if (!readFile(entries[i].path, bytes)) {
            std::fprintf(stderr, "%s: cannot read %s (%s)\n", listPath.c_str(), entries[i].path.c_str(),
                         entries[i].name.c_str());
            return 1;
        }
        out += "// " + entries[i].type + " " + entries[i].name + ": " + std::to_string(bytes.size()) + " bytes\n";
        out += "alignas(16) const char kData" + std::to_string(i) + "[] =\n";
        appendLiteral(out, bytes);
        out += ";\n\n";
    }
    out += "}  // namespace\n\n";
    out += "const EmbeddedResource* " + function + "(size_t& count) {\n";
    if (entries.empty()) {
        out += "    static const EmbeddedResource kNone[1] = {{\"\", \"\", nullptr, 0}};\n";
        out += "    count = 0;\n    return kNone;\n}\n";
    } else {
        out += "    static const EmbeddedResource kTable[] = {\n";
        for (size_t i = 0; i < entries.size(); ++i) {
            std::string index = std::to_string(i);
            // sizeof counts the literal's terminating zero, which is not data.
            out += "        {\"" + entries[i].type + "\", \"" + entries[i].name +
                   "\", reinterpret_cast<const uint8_t*>(kData" + index + "), sizeof(kData" + index + ") - 1},\n";
        }
        out += "    };\n    count = sizeof(kTable) / sizeof(kTable[0]);\n    return kTable;\n}\n";
    }

    if (!writeFile(outputPath, out)) {
        std::fprintf(stderr, "%s: cannot write\n", outputPath.c_str());
        return 1;
    }
    if (!depfile.empty()) {
        std::string deps = depfilePath(outputPath) + ":";
        deps += " " + depfilePath(listPath);
        for (const Entry& entry : entries) deps += " \\\n  " + depfilePath(entry.path);
        deps += "\n";
        std::ofstream dep(depfile, std::ios::binary | std::ios::trunc);
        dep << deps;
        if (!dep) {
            std::fprintf(stderr, "%s: cannot write\n", depfile.c_str());
            return 1;
        }
    }
    return 0;
}
