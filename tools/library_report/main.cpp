// The catalogue of the built-in library: renders every project's
// demonstration and writes
//   OUT/index.html             a page per project: tab, name, tracks and
//                              their modules, satellites, loudness, peak,
//                              length, spectrogram, waveform and the render
//   OUT/audio/NAME.wav         the renders (16-bit, 44.1 kHz)
//   OUT/img/NAME-*.png         the pictures
//   TABLE                      the same figures as a Markdown table
//
//   talvex-library-report OUT TABLE
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/png.h"
#include "tools/library_report/pictures.h"
#include "tools/library_report/project_measurements.h"

namespace fs = std::filesystem;

namespace {

void putLe(std::ofstream& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}

bool writeWav16(const fs::path& path, const measure::StereoSignal& s) {
    std::ofstream out(path, std::ios::binary);
    const uint32_t dataBytes = static_cast<uint32_t>(s.frames() * 4);
    out.write("RIFF", 4);
    putLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLe(out, 16, 4);
    putLe(out, 1, 2);
    putLe(out, 2, 2);
    putLe(out, static_cast<uint32_t>(s.rateHz), 4);
    putLe(out, static_cast<uint32_t>(s.rateHz) * 4, 4);
    putLe(out, 4, 2);
    putLe(out, 16, 2);
    out.write("data", 4);
    putLe(out, dataBytes, 4);
    for (size_t i = 0; i < s.frames(); ++i)
        for (float v : {s.left[i], s.right[i]}) {
            const long q = std::lround(std::clamp(static_cast<double>(v), -1.0, 1.0) * 32767.0);
            putLe(out, static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(q))), 2);
        }
    return static_cast<bool>(out);
}

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// Markdown table cells: a bar would end the cell.
std::string cell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += "\\|";
        else out += c;
    }
    return out;
}

std::string fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string trackText(const library::TrackSummary& t) {
    std::string text = t.title + " (" + t.module;
    for (const auto& insert : t.inserts) text += " + " + insert;
    return text + ")";
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) out += (i > 0 ? separator : "") + items[i];
    return out;
}

double bars(const library::ProjectFigures& f) { return f.demoSeconds * f.tempoBpm / 240.0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: talvex-library-report OUT_DIR TABLE.md\n");
        return 2;
    }
    const fs::path outDir = argv[1];
    const fs::path table = argv[2];
    fs::create_directories(outDir / "audio");
    fs::create_directories(outDir / "img");

    int count = 0;
    {
        library::LibraryPlayer probe;
        count = static_cast<int>(probe.projectNames().size());
    }
    std::vector<library::ProjectFigures> all(static_cast<size_t>(count));
    std::mutex guard;
    auto work = [&](int first) {
        std::unique_ptr<library::LibraryPlayer> player;
        {
            std::lock_guard<std::mutex> lock(guard);
            player = std::make_unique<library::LibraryPlayer>();
        }
        library::MeasureOptions options;
        options.keepDemo = true;
        options.live = false;
        options.satellites = false;
        for (int i = first; i < count; i += 2) {
            library::ProjectFigures f = library::measureProject(*player, i, options);
            const std::string& name = f.name;
            bool written = writeWav16(outDir / "audio" / (name + ".wav"), f.demo);
            written = gui::writePngFile((outDir / "img" / (name + "-spectrogram.png")).string(),
                                        library::spectrogramPicture(f.demo, 640, 200)) && written;
            written = gui::writePngFile((outDir / "img" / (name + "-waveform.png")).string(),
                                        library::waveformPicture(f.demo, 640, 120)) && written;
            f.demo = measure::StereoSignal();
            std::lock_guard<std::mutex> lock(guard);
            if (!written) std::fprintf(stderr, "talvex-library-report: could not write the files of %s\n", name.c_str());
            std::fprintf(stderr, "%3d/%d %s\n", i + 1, count, name.c_str());
            all[static_cast<size_t>(i)] = std::move(f);
        }
        std::lock_guard<std::mutex> lock(guard);
        player.reset();
    };
    std::thread second(work, 1);
    work(0);
    second.join();

    std::ofstream html(outDir / "index.html");
    html << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Talvex built-in projects</title>\n"
            "<style>body{font-family:sans-serif;background:#1b2026;color:#dde3ea;margin:2em}"
            "section{border-top:1px solid #3a4a58;padding:1em 0}h2{margin:0.2em 0}"
            "table{border-collapse:collapse}td,th{padding:2px 10px;text-align:left}"
            "img{display:block;margin:4px 0}.dim{color:#8a98a6}</style></head><body>\n"
            "<h1>Talvex built-in projects</h1>\n<p class=\"dim\">Each demonstration rendered through the plug-in at "
            "44.1 kHz with three seconds of tail. Loudness is integrated (EBU R128), peak is true peak.</p>\n";
    for (const auto& f : all) {
        html << "<section id=\"" << escape(f.name) << "\"><h2>" << escape(f.name) << "</h2>\n<table>"
             << "<tr><th>Tab</th><td>" << f.tab << "</td></tr><tr><th>Tempo</th><td>" << fixed(f.tempoBpm, 0)
             << " bpm</td></tr><tr><th>Tracks</th><td>";
        for (size_t t = 0; t < f.tracks.size(); ++t) html << (t > 0 ? "<br>" : "") << escape(trackText(f.tracks[t]));
        html << "</td></tr><tr><th>Satellites</th><td>" << escape(joined(f.satellites, ", "))
             << "</td></tr><tr><th>Loudness</th><td>" << fixed(f.loudness.integratedLufs, 1)
             << " LUFS</td></tr><tr><th>Peak</th><td>" << fixed(f.loudness.truePeakDbtp, 1)
             << " dBTP</td></tr><tr><th>Length</th><td>" << fixed(f.demoSeconds, 1) << " s (" << fixed(bars(f), 0)
             << " bars)</td></tr></table>\n"
             << "<img src=\"img/" << escape(f.name) << "-spectrogram.png\" alt=\"spectrogram of " << escape(f.name)
             << "\" width=\"640\" height=\"200\">\n"
             << "<img src=\"img/" << escape(f.name) << "-waveform.png\" alt=\"waveform of " << escape(f.name)
             << "\" width=\"640\" height=\"120\">\n"
             << "<audio controls preload=\"none\" src=\"audio/" << escape(f.name) << ".wav\"></audio></section>\n";
    }
    html << "</body></html>\n";

    std::ofstream md(table);
    md << "# Built-in projects\n\n"
          "Written by `scripts/library-report.sh`, which renders every demonstration through the plug-in at 44.1 kHz "
          "(with three seconds of tail) and also writes the catalogue page `out/library/index.html` with "
          "spectrograms, waveforms and the renders. Loudness is integrated loudness (EBU R128), peak is true peak.\n\n"
          "Every demonstration sits at -16 LUFS (within 1.5 LU) with its true peak at most -1 dBTP; the library "
          "tests hold it there (`tests/library`, report in `build/linux/tests/library/library-report.txt`). "
          "Above 63 one step of a project's master level is 0.19 dB and one step of a track level 0.29 dB: a "
          "demonstration measured at L LUFS comes to the house level with its master level moved by "
          "(-16 - L) / 0.19 steps.\n\n"
          "| Tab | Name | Tempo | Tracks (module + inserts) | Satellites | Loudness (LUFS) | Peak (dBTP) | Length |\n"
          "| --- | --- | --- | --- | --- | --- | --- | --- |\n";
    for (const auto& f : all) {
        std::vector<std::string> tracks;
        for (const auto& t : f.tracks) tracks.push_back(trackText(t));
        md << "| " << f.tab << " | " << cell(f.name) << " | " << fixed(f.tempoBpm, 0) << " | " << cell(joined(tracks, "<br>"))
           << " | " << cell(joined(f.satellites, ", ")) << " | " << fixed(f.loudness.integratedLufs, 1) << " | "
           << fixed(f.loudness.truePeakDbtp, 1) << " | " << fixed(f.demoSeconds, 1) << " s, " << fixed(bars(f), 0)
           << " bars |\n";
    }
    std::fprintf(stderr, "wrote %s and %s\n", (outDir / "index.html").c_str(), table.c_str());
    return html && md ? 0 : 1;
}
