// Writes starting inputs for the fuzz targets whose inputs are chunks and
// files of our own making: every module's own preset and bank chunks behind
// the selector bytes its target reads, small WAV and AIFF files of each
// sample format the readers take, packed store entries, PNG images and
// names. Run from the fuzz tree:
//   build/fuzz/fuzz/seeds/make_fuzz_seeds fuzz/corpus
// The folders it fills are committed; libFuzzer starts from them.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gui/bitmap.h"
#include "gui/png.h"
#include "modulehost/bank_image.h"
#include "modulehost/module_host_callback.h"
#include "modulehost/module_registry.h"
#include "modules/drums_module.h"
#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"
#include "modules/sampler_module.h"
#include "modules/synth_module.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

fs::path outRoot;
int written = 0;

void write(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path folder = outRoot / target;
    fs::create_directories(folder);
    std::ofstream out(folder / ("seed-" + name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ++written;
}

VstIntPtr VSTCALLBACK silentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

// The module's own chunk behind the selector bytes.
Bytes chunkOf(AEffect* e, bool preset, const Bytes& prefix) {
    void* chunk = nullptr;
    const VstIntPtr size = e->dispatcher(e, effGetChunk, preset ? 1 : 0, 0, &chunk, 0.0f);
    Bytes out = prefix;
    if (size > 0 && chunk != nullptr)
        out.insert(out.end(), static_cast<const uint8_t*>(chunk), static_cast<const uint8_t*>(chunk) + size);
    delete[] static_cast<char*>(chunk);
    return out;
}

Bytes chunkOf(AudioEffectX& module, bool preset, const Bytes& prefix) {
    return chunkOf(module.getAeffect(), preset, prefix);
}

void putLittle(Bytes& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putBig(Bytes& out, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putTag(Bytes& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

// A short decaying saw, as integer samples of the given width.
uint32_t sampleAt(int frame, int channel, int bits) {
    const double v = ((frame * (channel + 3)) % 40 - 20) / 20.0 * (1.0 - frame / 200.0) * 0.8;
    if (bits == 8) return static_cast<uint32_t>(static_cast<int>(v * 127.0) + 128);
    const double scale = static_cast<double>((1u << (bits - 1)) - 1);
    return static_cast<uint32_t>(static_cast<int32_t>(v * scale));
}

// PCM (format 1) or float (format 3) WAV; `loop` adds a sampler chunk with
// one forward loop.
Bytes wavFile(int channels, int bits, bool floating, bool loop, int frames = 120) {
    Bytes data;
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            if (floating) {
                float v = static_cast<float>(static_cast<int32_t>(sampleAt(f, c, 24))) / 8388607.0f;
                uint32_t raw;
                std::memcpy(&raw, &v, 4);
                putLittle(data, raw, 4);
            } else {
                putLittle(data, sampleAt(f, c, bits), bits / 8);
            }
        }
    Bytes body;
    putTag(body, "WAVE");
    putTag(body, "fmt ");
    putLittle(body, 16, 4);
    putLittle(body, floating ? 3 : 1, 2);
    putLittle(body, static_cast<uint32_t>(channels), 2);
    putLittle(body, 44100, 4);
    putLittle(body, static_cast<uint32_t>(44100 * channels * bits / 8), 4);
    putLittle(body, static_cast<uint32_t>(channels * bits / 8), 2);
    putLittle(body, static_cast<uint32_t>(bits), 2);
    if (loop) {
        putTag(body, "smpl");
        putLittle(body, 36 + 24, 4);
        for (int i = 0; i < 3; ++i) putLittle(body, 0, 4);
        putLittle(body, 60, 4);  // unity note
        for (int i = 0; i < 3; ++i) putLittle(body, 0, 4);
        putLittle(body, 1, 4);  // one loop
        putLittle(body, 0, 4);
        putLittle(body, 0, 4);   // cue point
        putLittle(body, 0, 4);   // forward
        putLittle(body, 20, 4);  // start frame
        putLittle(body, static_cast<uint32_t>(frames - 1), 4);
        putLittle(body, 0, 4);
        putLittle(body, 0, 4);
    }
    putTag(body, "data");
    putLittle(body, static_cast<uint32_t>(data.size()), 4);
    body.insert(body.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) body.push_back(0);
    Bytes file;
    putTag(file, "RIFF");
    putLittle(file, static_cast<uint32_t>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// Big-endian PCM AIFF at 44100 Hz.
Bytes aiffFile(int channels, int bits, int frames = 120) {
    Bytes body;
    putTag(body, "AIFF");
    putTag(body, "COMM");
    putBig(body, 18, 4);
    putBig(body, static_cast<uint32_t>(channels), 2);
    putBig(body, static_cast<uint32_t>(frames), 4);
    putBig(body, static_cast<uint32_t>(bits), 2);
    // 44100 as an 80-bit extended float.
    const uint8_t rate[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    body.insert(body.end(), rate, rate + 10);
    Bytes data;
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            uint32_t v = sampleAt(f, c, bits);
            if (bits == 8) v = static_cast<uint32_t>(static_cast<int>(v) - 128);
            putBig(data, v, bits / 8);
        }
    putTag(body, "SSND");
    putBig(body, static_cast<uint32_t>(8 + data.size()), 4);
    putBig(body, 0, 4);
    putBig(body, 0, 4);
    body.insert(body.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) body.push_back(0);
    Bytes file;
    putTag(file, "FORM");
    putBig(file, static_cast<uint32_t>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void moduleSeeds() {
    for (int flavour = 0; flavour < 2; ++flavour) {
        EffectSynth synth(&silentHost, flavour ? EffectSynth::kFlavourII : EffectSynth::kFlavourI);
        for (int preset = 0; preset < 2; ++preset) {
            const uint8_t mode = static_cast<uint8_t>(flavour | (preset << 1));
            write("fuzz_synth_chunk", "flavour" + std::to_string(flavour + 1) + (preset ? "-preset" : "-bank"),
                  chunkOf(synth, preset != 0, {mode}));
        }
    }
    for (int bass = 0; bass < 2; ++bass) {
        EffectDrums drums(&silentHost, bass != 0);
        for (int preset = 0; preset < 2; ++preset) {
            const uint8_t mode = static_cast<uint8_t>(bass | (preset << 1));
            write("fuzz_drums_chunk", std::string(bass ? "bass" : "drums") + (preset ? "-preset" : "-bank"),
                  chunkOf(drums, preset != 0, {mode}));
        }
    }
    {
        EffectSampler sampler(&silentHost);
        for (int preset = 0; preset < 2; ++preset)
            write("fuzz_sampler_chunk", preset ? "preset" : "bank",
                  chunkOf(sampler, preset != 0, {static_cast<uint8_t>(preset)}));
    }
    // Every registered class, in the order both targets index them.
    int count = 0;
    const ModuleClassEntry* entries = moduleClasses(count);
    int index = 0;
    for (int i = 0; i < count; ++i) {
        if (entries[i].create == nullptr) continue;
        AudioEffectX* module = entries[i].create(moduleHostCallback);
        AEffect* e = module->getAeffect();
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        const std::string name = std::to_string(index) + "-" + entries[i].fileTitle;
        const uint8_t slot = static_cast<uint8_t>(index);
        if ((e->flags & effFlagsProgramChunks) != 0) {
            write("fuzz_module_chunks", name + "-preset", chunkOf(e, true, {slot, 0}));
            write("fuzz_module_chunks", name + "-bank", chunkOf(e, false, {slot, 1}));
            // The state image target's form 1 wraps the rest as an opaque chunk.
            write("fuzz_state_image", name + "-chunk", chunkOf(e, false, {slot, 1}));
        } else {
            // Form 0 takes a whole image: a bank of parameter programs.
            Bytes image = {slot, 0};
            const VstInt32 programs = e->numPrograms < 2 ? e->numPrograms : 2;
            putTag(image, "CcnK");
            putBig(image, 0, 4);
            putTag(image, "FxBk");
            putBig(image, 1, 4);
            putBig(image, static_cast<uint32_t>(e->uniqueID), 4);
            putBig(image, 1, 4);
            putBig(image, static_cast<uint32_t>(programs), 4);
            image.insert(image.end(), bankimage::kFirstRecordOffset - 28, 0);
            for (VstInt32 program = 0; program < programs; ++program) {
                e->dispatcher(e, effSetProgram, 0, program, nullptr, 0.0f);
                putTag(image, "CcnK");
                putBig(image, static_cast<uint32_t>(bankimage::kRecordHeaderBytes - 8 + 4 * e->numParams), 4);
                putTag(image, "FxCk");
                putBig(image, 1, 4);
                putBig(image, static_cast<uint32_t>(e->uniqueID), 4);
                putBig(image, 1, 4);
                putBig(image, static_cast<uint32_t>(e->numParams), 4);
                char programName[bankimage::kRecordNameBytes] = {};
                std::snprintf(programName, sizeof(programName), "Seed %d", program + 1);
                image.insert(image.end(), programName, programName + sizeof(programName));
                for (VstInt32 p = 0; p < e->numParams; ++p) {
                    const float v = e->getParameter(e, p);
                    uint32_t raw;
                    std::memcpy(&raw, &v, 4);
                    putBig(image, raw, 4);
                }
            }
            write("fuzz_state_image", name + "-programs", image);
        }
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
        ++index;
    }
}

void sampleSeeds() {
    struct Wav {
        const char* name;
        int channels, bits;
        bool floating, loop;
    };
    const Wav wavs[] = {{"pcm16-stereo", 2, 16, false, false}, {"pcm16-mono-loop", 1, 16, false, true},
                        {"pcm8-mono", 1, 8, false, false},     {"pcm24-stereo", 2, 24, false, false},
                        {"pcm32-mono", 1, 32, false, false},   {"float-stereo-loop", 2, 32, true, true}};
    for (const Wav& w : wavs) {
        const Bytes file = wavFile(w.channels, w.bits, w.floating, w.loop);
        write("fuzz_wav_reader", w.name, file);
        write("fuzz_sample_store", std::string("wav-") + w.name,
              sample_store::packEntry(sample_store::kMarkerWav, file.data(), file.size()));
    }
    struct Aiff {
        const char* name;
        int channels, bits;
    };
    const Aiff aiffs[] = {{"pcm16-mono", 1, 16}, {"pcm16-stereo", 2, 16}, {"pcm8-mono", 1, 8}, {"pcm24-stereo", 2, 24}};
    for (const Aiff& a : aiffs) {
        const Bytes file = aiffFile(a.channels, a.bits);
        write("fuzz_aiff_reader", a.name, file);
        write("fuzz_sample_store", std::string("aiff-") + a.name,
              sample_store::packEntry(sample_store::kMarkerAiff, file.data(), file.size()));
    }
    write("fuzz_sample_store", "index", text("# keys\nKick_1.wav\r\nSnare 2.wav\n\nPad.aif\n"));
    write("fuzz_sample_store", "empty-entry", Bytes{sample_store::kMarkerEmpty});
}

void guiSeeds() {
    gui::Bitmap one(1, 1, gui::rgb(10, 200, 30));
    write("fuzz_png_decoder", "1x1", gui::encodePng(one));
    gui::Bitmap gradient(16, 9);
    for (int y = 0; y < gradient.height(); ++y)
        for (int x = 0; x < gradient.width(); ++x)
            gradient.setPixel(x, y, gui::argb(static_cast<unsigned>(x * 17), static_cast<unsigned>(x * 16),
                                              static_cast<unsigned>(y * 28), static_cast<unsigned>(255 - x * 8)));
    write("fuzz_png_decoder", "16x9-alpha", gui::encodePng(gradient));
    gui::Bitmap strip(48, 3, gui::rgb(0, 0, 0));
    for (int x = 0; x < 48; x += 2) strip.setPixel(x, 1, gui::rgb(255, 255, 255));
    write("fuzz_png_decoder", "48x3-strip", gui::encodePng(strip));

    write("fuzz_text_decoder", "ascii", text("Preset 12"));
    write("fuzz_text_decoder", "utf8", text("Gr\xC3\xB6\xC3\x9F" "e \xE2\x99\xAA \xF0\x9F\x8E\xB9"));
    write("fuzz_text_decoder", "latin1", text("Stra\xDF" "e \xC4\xD6\xDC"));
    write("fuzz_text_decoder", "full-field", text("ABCDEFGHIJKLMNOPQRSTUVWX"));
    write("fuzz_text_decoder", "broken-utf8", text("\xE2\x99 \xC3 \xF0\x9F\x8E end"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_FOLDER\n");
        return 2;
    }
    outRoot = argv[1];
    moduleSeeds();
    sampleSeeds();
    guiSeeds();
    std::printf("%d seeds written under %s\n", written, argv[1]);
    return 0;
}
