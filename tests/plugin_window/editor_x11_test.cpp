// The plug-in's own editor in a real window: talvex-render hosts it on a
// private Xvfb while rendering in real time, xdotool clicks it the way a
// user does, and the test reads back what changed: the program the bank
// chunk holds, the settings store, the sound of the render and the
// automation the host received.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <algorithm>
#include <sstream>
#include <thread>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/main_menu.h"
#include "editor/pad_mapping.h"
#include "editor/planet_pad.h"
#include "editor/right_panel_layout.h"
#include "host/effect.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "track/instrument.h"
#include "host/program_chunk.h"
#include "platform/registry_store.h"
#include "tests/gui_window/x11_test_support.h"
#include "tests/plugin_window/editor_x11_support.h"

#include <dlfcn.h>

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __asan_init();
#endif

namespace {

// Under AddressSanitizer the renderer's leak check must see the plug-in's
// globals: once the host unloads the plug-in, whatever they still point to
// (tables built once, caches) reads as leaked. The plug-in is preloaded so
// that it stays mapped; the sanitizer runtime must come first.
void keepPluginLoadedForLeakCheck() {
#if defined(__SANITIZE_ADDRESS__)
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&__asan_init), &info) != 0 && info.dli_fname != nullptr)
        setenv("LD_PRELOAD", (std::string(info.dli_fname) + " " + TALVEX_PLUGIN_PATH).c_str(), 1);
#endif
}

using editor_x11::ChildProcess;
using editor_x11::EditorPointer;
using editor_x11::readText;

// Both channels of a 16-bit or float WAV file, interleaved.
bool readWav(const std::string& path, std::vector<float>& samples, int& channels, int& rate) {
    const std::string bytes = readText(path);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0) return false;
    auto u16 = [&](size_t at) { return static_cast<int>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8); };
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    int format = 0, bits = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const size_t size = u32(at + 4);
        if (id == "fmt ") {
            format = u16(at + 8);
            channels = u16(at + 10);
            rate = static_cast<int>(u32(at + 12));
            bits = u16(at + 22);
        } else if (id == "data") {
            const size_t end = std::min(bytes.size(), at + 8 + size);
            for (size_t p = at + 8; p + bits / 8 <= end; p += static_cast<size_t>(bits / 8)) {
                if (format == 3 && bits == 32) {
                    float f;
                    std::memcpy(&f, bytes.data() + p, 4);
                    samples.push_back(f);
                } else if (bits == 16) {
                    samples.push_back(static_cast<int16_t>(u16(p)) / 32768.0f);
                } else if (bits == 24) {
                    const int32_t v = (static_cast<int32_t>(u16(p)) | static_cast<int8_t>(bytes[p + 2]) * 65536);
                    samples.push_back(static_cast<float>(v) / 8388608.0f);
                }
            }
            return channels > 0;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

double rmsDb(const std::vector<float>& interleaved, int channels, int rate, double fromS, double toS) {
    const size_t from = static_cast<size_t>(fromS * rate) * static_cast<size_t>(channels);
    const size_t to = std::min(interleaved.size(), static_cast<size_t>(toS * rate) * static_cast<size_t>(channels));
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += static_cast<double>(interleaved[i]) * interleaved[i];
    const double rms = to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
    return 20.0 * std::log10(rms + 1e-12);
}

// Runs talvex-render with the plug-in and the arguments; its exit status.
int runRenderer(const std::string& folder, std::vector<std::string> extra, std::string& output) {
    keepPluginLoadedForLeakCheck();
    std::vector<std::string> arguments = {TALVEX_RENDER_EXE, TALVEX_PLUGIN_PATH, "-o", folder + "/cycles.wav",
                                          "--no-progress"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    std::string command;
    for (const std::string& a : arguments) command += a + " ";
    command += "> " + folder + "/cycles.out 2>&1";
    const int status = std::system(command.c_str());
    unsetenv("LD_PRELOAD");
    output = readText(folder + "/cycles.out");
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Starts talvex-render with the arguments, its output going to a file.
std::unique_ptr<ChildProcess> spawnRenderer(std::vector<std::string> arguments, const std::string& output) {
    keepPluginLoadedForLeakCheck();
    auto renderer = std::make_unique<ChildProcess>(std::move(arguments), output);
    unsetenv("LD_PRELOAD");  // xdotool is not ours to check
    return renderer;
}

unsigned long waitForEditor(const std::string& info) { return editor_x11::waitForWindowId(info, "editor"); }

// The stand-alone host's main menu as the editor draws it.
std::vector<gui::Point> drawnMainMenuPath(const std::vector<std::string>& path) {
    main_menu::State state;
    state.standaloneHost = true;
    state.versionText = kVersionText;
    return editor_x11::drawnMenuPath(state, path);
}

// Waits for the renderer's end: its exit status.
int finish(ChildProcess& renderer) { return renderer.waitForExit(300000); }

TEST(EditorInAWindow, OpenAndCloseTwoHundredTimesWhileProgramsChange) {
    char pattern[] = "/tmp/talvex-editor-cycles-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    for (const char* order : {"lmms", "ardour"}) {
        std::vector<std::string> extra = {"--show-editor", std::string(order) == "lmms" ? "12" : "30",
                                          "--editor-order", order, "--editor-cycles", "200"};
        // Project changes on the render thread while the editor idles, opens
        // and closes on its own.
        for (int k = 1; k <= 10; ++k) {
            extra.push_back("--vendor-specific");
            extra.push_back("Tlvx,Proj," + std::to_string(k % 2) + "@" + std::to_string(k) + "s");
        }
        std::string output;
        EXPECT_EQ(runRenderer(folder, extra, output), 0) << order << "\n" << output;
        EXPECT_EQ(output.find("rror"), std::string::npos) << order << "\n" << output;
    }
}

TEST(EditorInAWindow, TabProjectPlayAndScopeClicksReachThePlugin) {
    char pattern[] = "/tmp/talvex-editor-x11-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    const std::string info = folder + "/info", chunk = folder + "/bank.chunk", wav = folder + "/out.wav",
                      output = folder + "/out.txt", events = folder + "/held.txt";
    // A chord held to the end, struck once the clicked project has loaded:
    // only All Notes Off can stop it.
    std::ofstream(events) << "2s note_on 0 48 100\n2s note_on 0 60 100\n2s note_on 0 64 100\n"
                             "2s note_on 0 67 100\n";
    std::vector<std::string> arguments = {TALVEX_RENDER_EXE, TALVEX_PLUGIN_PATH, "-o", wav, "--no-progress",
                                          "--show-editor", "6", "--editor-order", "lmms", "--editor-info", info,
                                          "--save-chunk", chunk, "-e", events};
    auto renderer = spawnRenderer(arguments, output);
    ASSERT_GT(renderer->pid(), 0);
    const auto start = std::chrono::steady_clock::now();
    const unsigned long editor = waitForEditor(info);
    ASSERT_NE(editor, 0u) << readText(output);
    EditorPointer pointer(editor, 150);
    auto clickAt = [&pointer](int x, int y) { pointer.click(gui::Point{x, y}); };
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    clickAt(295, 186);  // tab 2: only the list changes
    clickAt(295, 142);  // tab 1
    clickAt(60, 54 + 12 + 27 + 10);  // its second project
    clickAt(348, 70);                // main menu
    clickAt(375, 236);               // "Scope"
    // Let the project play a while, then switch Play off.
    std::this_thread::sleep_until(start + std::chrono::milliseconds(3500));
    clickAt(795, 378);
    const double playOffS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_EQ(finish(*renderer), 0) << readText(output);

    // The program the host saves holds the clicked project with Play off.
    const std::string bank = readText(chunk);
    std::vector<ProgramRecord> records;
    ASSERT_TRUE(parseProgramChunk(reinterpret_cast<const uint8_t*>(bank.data()), bank.size(), false, records, 24));
    // The first tab's second project, wherever the library puts it.
    const editor_x11::PluginLists lists = editor_x11::readPluginLists(folder);
    ASSERT_GE(lists.projects.size(), 2u);
    EXPECT_EQ(std::string(records[0].projectName), lists.projects[1]);
    EXPECT_EQ(records[0].playSwitch, 0.0f);
    // The Scope check item reached the settings, written when the plug-in closed.
    uint32_t scope = 0;
    ASSERT_TRUE(platform::RegistryStore::readDword("software\\TalvexBass\\Settings", "ScopeOn", scope));
    EXPECT_EQ(scope, 1u);
    // Play off stopped the notes: the end of the render is far below what
    // played before.
    std::vector<float> samples;
    int channels = 0, rate = 0;
    ASSERT_TRUE(readWav(wav, samples, channels, rate));
    const double duration = static_cast<double>(samples.size()) / channels / rate;
    const double playing = rmsDb(samples, channels, rate, 2.3, playOffS - 0.4);
    const double after = rmsDb(samples, channels, rate, duration - 0.5, duration);
    std::printf("chord %.1f dB RMS, last 0.5 s after Play off %.1f dB RMS\n", playing, after);
    EXPECT_GT(playing, -40.0);
    EXPECT_LT(after, playing - 30.0) << "playing " << playing << " dB, after Play off " << after << " dB";
}

TEST(EditorInAWindow, StandaloneSampleRateFromTheDrawnMenuReachesTheHostAsAutomation) {
    char pattern[] = "/tmp/talvex-editor-standalone-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    const std::string info = folder + "/info", automation = folder + "/automation.txt", output = folder + "/out.txt";
    const std::vector<gui::Point> path = drawnMainMenuPath({"Settings", "Sample Rate", "48000"});
    ASSERT_EQ(path.size(), 3u) << "the stand-alone main menu has no Settings, Sample Rate, 48000";
    auto renderer = spawnRenderer({TALVEX_RENDER_EXE, TALVEX_PLUGIN_PATH, "-o", folder + "/out.wav", "--no-progress",
                                     "--show-editor", "5", "--standalone-host", "--editor-info", info,
                                     "--automation-log", automation},
                                    output);
    ASSERT_GT(renderer->pid(), 0);
    const unsigned long editor = waitForEditor(info);
    ASSERT_NE(editor, 0u) << readText(output);
    EditorPointer pointer(editor);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The drawn sub-menus open on hover: the pointer rests on Settings and
    // on Sample Rate before the click on 48000.
    pointer.choose(path);

    ASSERT_EQ(finish(*renderer), 0) << readText(output);
    // The stand-alone host learns the chosen rate as one automation of its
    // reserved parameter 0x20000 with the rate in Hz as the value, not
    // bracketed by begin and end (a menu choice is no drag). Opening the
    // menu and hovering send nothing.
    std::istringstream log(readText(automation));
    std::vector<std::string> received;
    for (std::string line; std::getline(log, line);) {
        if (line.empty() || line[0] == '#') continue;
        received.push_back(line.substr(line.find(' ') + 1));
    }
    EXPECT_EQ(received, std::vector<std::string>{"131072 48000"}) << readText(automation) << readText(output);
}

// Spectral centroid of the mono mix of an interleaved signal between two
// times: Hann window over 4096 frames, plain DFT up to 5 kHz.
double centroidHz(const std::vector<float>& interleaved, int channels, int rate, double fromS, double toS) {
    const size_t n = 4096;
    double weighted = 0.0, total = 0.0;
    const size_t last = static_cast<size_t>(toS * rate);
    for (size_t start = static_cast<size_t>(fromS * rate); start + n <= last; start += n) {
        std::vector<double> mono(n);
        for (size_t i = 0; i < n; ++i) {
            const size_t frame = start + i;
            if ((frame + 1) * static_cast<size_t>(channels) > interleaved.size()) return 0.0;
            double sum = 0.0;
            for (int c = 0; c < channels; ++c) sum += interleaved[frame * static_cast<size_t>(channels) + static_cast<size_t>(c)];
            mono[i] = sum * (0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n)));
        }
        const size_t maxBin = static_cast<size_t>(5000.0 * static_cast<double>(n) / rate);
        for (size_t k = 1; k < maxBin; ++k) {
            double re = 0.0, im = 0.0;
            for (size_t i = 0; i < n; ++i) {
                const double a = 2.0 * M_PI * static_cast<double>(k * i) / static_cast<double>(n);
                re += mono[i] * std::cos(a);
                im -= mono[i] * std::sin(a);
            }
            const double mag = std::sqrt(re * re + im * im);
            weighted += mag * static_cast<double>(k) * rate / static_cast<double>(n);
            total += mag;
        }
    }
    return total > 0.0 ? weighted / total : 0.0;
}

TEST(EditorInAWindow, ASoundChosenInTheSoundsTabChangesWhatTheTrackPlays) {
    char pattern[] = "/tmp/talvex-editor-sounds-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    const std::string info = folder + "/info", wav = folder + "/out.wav", output = folder + "/out.txt",
                      events = folder + "/held.txt";
    // One note struck twice a second, the transport stopped: nothing else
    // plays, and each strike sounds the program that plays at that time.
    {
        std::ofstream list(events);
        for (int k = 0; k < 14; ++k)
            list << 0.2 + 0.5 * k << "s note_on 0 45 100\n" << 0.6 + 0.5 * k << "s note_off 0 45 0\n";
    }
    auto renderer = spawnRenderer({TALVEX_RENDER_EXE, TALVEX_PLUGIN_PATH, "-o", wav, "--no-progress", "--stopped",
                                     "--show-editor", "6", "--editor-order", "lmms", "--editor-info", info, "-e", events},
                                    output);
    ASSERT_GT(renderer->pid(), 0);
    const auto start = std::chrono::steady_clock::now();
    const unsigned long editor = waitForEditor(info);
    ASSERT_NE(editor, 0u) << readText(output);
    EditorPointer pointer(editor, 150);
    auto clickAt = [&pointer](int x, int y) { pointer.click(gui::Point{x, y}); };
    const int firstRowY = right_panel::kList.top + right_panel::kListFirstRow + right_panel::kRowPixels / 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    clickAt(900, firstRowY);                      // the first planet in the list
    clickAt(right_panel::kTabs.left + 66 + 30, 138);  // SOUNDS
    std::this_thread::sleep_until(start + std::chrono::milliseconds(3000));
    clickAt(900, firstRowY + right_panel::kRowPixels);  // its second sound
    const double chosenS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_EQ(finish(*renderer), 0) << readText(output);
    std::vector<float> samples;
    int channels = 0, rate = 0;
    ASSERT_TRUE(readWav(wav, samples, channels, rate));
    const double duration = static_cast<double>(samples.size()) / channels / rate;
    ASSERT_GT(duration, chosenS + 1.0);
    // The render starts a little before the clock here: the windows leave
    // room on both sides of the change.
    const double before = centroidHz(samples, channels, rate, chosenS - 1.6, chosenS - 0.6);
    const double after = centroidHz(samples, channels, rate, chosenS + 0.2, chosenS + 1.2);
    const double levelBefore = rmsDb(samples, channels, rate, chosenS - 1.6, chosenS - 0.6);
    const double levelAfter = rmsDb(samples, channels, rate, chosenS + 0.2, chosenS + 1.2);
    std::printf("struck note: %.0f Hz centroid at %.1f dB before the click at %.2f s, %.0f Hz at %.1f dB after\n", before,
                levelBefore, chosenS, after, levelAfter);
    EXPECT_GT(levelBefore, -40.0);
    EXPECT_GT(levelAfter, -40.0);
    EXPECT_GT(std::fabs(after - before), 0.25 * before) << before << " Hz before, " << after << " Hz after";
}

// Where the first program's first planet and its first satellite sit in the
// window, read from an instance of our own with the same fresh settings as
// the renderer's.
struct PadStart {
    int track = -1;
    gui::Point planet;
    float pan = 0.0f;
    float level = 0.0f;
    int satellite = -1;
    gui::Point satellitePoint;
};

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The planet a press on its centre takes (planets may share a place: the
// last one found wins), and the first of its satellites a press on the
// satellite's centre takes.
PadStart readPadStart() {
    PadStart start;
    auto* fx = new Effect(&quietHost);
    Project& project = *fx->project();
    const bool circular = fx->roundPad.load();
    auto centre = [](gui::Point at, int size) {
        return gui::Point{kPadRect.left + at.x + size / 2, kPadRect.top + at.y + size / 2};
    };
    std::vector<gui::Rect> planets;
    for (auto& t : project.tracks)
        planets.push_back(
            pad::hitRect(pad::pixelOf(pad::planetPlace(t->pan.load(), t->planetLevel.load(), circular)), pad::kPlanetSize));
    for (size_t t = 0; t < planets.size() && start.track < 0; ++t) {
        const gui::Point c = centre(gui::Point{planets[t].left, planets[t].top}, pad::kPlanetSize);
        if (pad::hitPlanet(planets, -1, c.x - kPadRect.left, c.y - kPadRect.top) != static_cast<int>(t)) continue;
        CInstrument& track = *project.tracks[t];
        // Its satellites, in order, with their numbers across the project.
        std::vector<gui::Rect> satellites;
        std::vector<int> numbers;
        for (int s = 0; s < kProgramSatellites; ++s) {
            SatelliteRef ref;
            if (!findSatellite(project, s, ref)) break;
            if (ref.track != &track) continue;
            const SoundBall& b = track.balls.ball(ref.ball);
            satellites.push_back(pad::hitRect(pad::pixelOf(pad::satellitePlace(b.x.load(), b.y.load(), !b.horizontal.empty(),
                                                                              !b.vertical.empty(), circular)),
                                              pad::kSatelliteSize));
            numbers.push_back(s);
        }
        for (size_t k = 0; k < satellites.size(); ++k) {
            const gui::Point sc = centre(gui::Point{satellites[k].left, satellites[k].top}, pad::kSatelliteSize);
            if (pad::hitFirst(satellites, sc.x - kPadRect.left, sc.y - kPadRect.top) != static_cast<int>(k)) continue;
            start.track = static_cast<int>(t);
            start.planet = c;
            start.pan = track.pan.load();
            start.level = track.planetLevel.load();
            start.satellite = numbers[k];
            start.satellitePoint = sc;
            break;
        }
    }
    AEffect* a = fx->getAeffect();
    a->dispatcher(a, effClose, 0, 0, nullptr, 0.0f);
    return start;
}

TEST(EditorInAWindow, DraggedPlanetAndSatelliteReachThePluginAndTheHostsAutomation) {
    char pattern[] = "/tmp/talvex-editor-pad-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    const PadStart start = readPadStart();
    ASSERT_GE(start.track, 0) << "the first program has no planet with a satellite to take";
    const int d = start.track, sat = start.satellite;
    std::printf("planet %d at %d,%d; its satellite %d at %d,%d\n", d, start.planet.x, start.planet.y, sat,
                start.satellitePoint.x, start.satellitePoint.y);
    const std::string info = folder + "/info", automation = folder + "/automation.txt", chunk = folder + "/bank.chunk",
                      output = folder + "/out.txt";
    auto renderer = spawnRenderer({TALVEX_RENDER_EXE, TALVEX_PLUGIN_PATH, "-o", folder + "/out.wav", "--no-progress",
                                     "--show-editor", "5", "--editor-order", "lmms", "--editor-info", info,
                                     "--automation-log", automation, "--save-chunk", chunk},
                                    output);
    ASSERT_GT(renderer->pid(), 0);
    const unsigned long editor = waitForEditor(info);
    ASSERT_NE(editor, 0u) << readText(output);
    EditorPointer hand(editor, 120);
    auto pointer = [&hand](gui::Point p, const char* then) { hand.moveTo(p, then); };
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The planet: 40 right and 30 up, in steps as a hand moves.
    const int dx = 40, dy = -30;
    pointer(start.planet, " mousedown 1");
    for (int k = 1; k <= 4; ++k) pointer(gui::Point{start.planet.x + dx * k / 4, start.planet.y + dy * k / 4}, "");
    pointer(gui::Point{start.planet.x + dx, start.planet.y + dy}, " mouseup 1");
    // Its first satellite, now shown: up past the pad's top edge.
    pointer(start.satellitePoint, " mousedown 1");
    pointer(gui::Point{start.satellitePoint.x, (start.satellitePoint.y + 5) / 2}, "");
    pointer(gui::Point{start.satellitePoint.x, 5}, " mouseup 1");

    ASSERT_EQ(finish(*renderer), 0) << readText(output);

    // What the host received, in order: each drag one gesture of two
    // parameters, opened and closed once.
    std::istringstream log(readText(automation));
    std::vector<std::string> gestures;
    std::map<int, float> last;
    for (std::string line; std::getline(log, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string frame, what;
        float value = 0.0f;
        fields >> frame >> what;
        if (what == "begin" || what == "end") {
            fields >> value;
            gestures.push_back(what + " " + std::to_string(static_cast<int>(value)));
        } else {
            fields >> value;
            last[std::stoi(what)] = value;
        }
    }
    auto edit = [](const char* what, int parameter) { return std::string(what) + " " + std::to_string(parameter); };
    const std::vector<std::string> expected = {edit("begin", 64 + 2 * d), edit("begin", 65 + 2 * d),
                                               edit("end", 64 + 2 * d),   edit("end", 65 + 2 * d),
                                               edit("begin", 2 * sat),    edit("begin", 2 * sat + 1),
                                               edit("end", 2 * sat),      edit("end", 2 * sat + 1)};
    EXPECT_EQ(gestures, expected) << readText(automation);
    const float pan = std::clamp(start.pan + 2.0f * dx / 357.0f, -1.0f, 1.0f);
    const float level = std::clamp(start.level - 127.0f * dy / 357.0f, 0.0f, 127.0f);
    EXPECT_NEAR(last[64 + 2 * d], (pan + 1.0f) / 2.0f, 1e-6);
    EXPECT_NEAR(last[65 + 2 * d], level / 128.0f, 1e-6);
    EXPECT_EQ(last[2 * sat + 1], 127.0f / 128.0f);
    // The program the host saves holds the moves.
    const std::string bank = readText(chunk);
    std::vector<ProgramRecord> records;
    ASSERT_TRUE(parseProgramChunk(reinterpret_cast<const uint8_t*>(bank.data()), bank.size(), false, records, 24));
    EXPECT_NEAR(records[0].trackPan[d], pan, 1e-6);
    EXPECT_NEAR(records[0].trackLevel[d], level, 1e-4);
    EXPECT_EQ(records[0].satellites[sat][1], 127.0f);
}

// The planets' glow follows the track meters on the host's idle calls while
// the plug-in renders: the screen shows the planets dark before a note, lit
// while it sounds, and dark again once it has died away.
TEST(EditorInAWindow, ThePlanetsGlowWhileTheirTracksSoundAndDarkenAfter) {
    const std::string folder = editor_x11::makeFolder("talvex-editor-glow");
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    // Where the first program's planets lie, from an instance of our own
    // with the same fresh settings.
    std::vector<gui::Rect> planets;
    {
        auto* fx = new Effect(&quietHost);
        for (auto& t : fx->project()->tracks) {
            const gui::Point at = pad::pixelOf(pad::planetPlace(t->pan.load(), t->planetLevel.load(), fx->roundPad.load()));
            planets.push_back(gui::Rect::fromSize(kPadRect.left + at.x, kPadRect.top + at.y, pad::kPlanetSize,
                                                  pad::kPlanetSize));
        }
        AEffect* a = fx->getAeffect();
        a->dispatcher(a, effClose, 0, 0, nullptr, 0.0f);
    }
    ASSERT_FALSE(planets.empty());
    const std::string info = folder + "/info", output = folder + "/out.txt", events = folder + "/note.txt";
    std::ofstream(events) << "2s note_on 0 57 110\n2s note_on 0 64 110\n3.5s note_off 0 57 0\n3.5s note_off 0 64 0\n";
    auto renderer = spawnRenderer({TALVEX_RENDER_EXE, TALVEX_PLUGIN_PATH, "-o", folder + "/out.wav", "--no-progress",
                                   "--stopped", "--show-editor", "8", "--editor-order", "lmms", "--editor-info", info,
                                   "-e", events},
                                  output);
    ASSERT_GT(renderer->pid(), 0);
    const auto start = std::chrono::steady_clock::now();
    const unsigned long editor = waitForEditor(info);
    ASSERT_NE(editor, 0u) << readText(output);
    TestDisplay display;
    ASSERT_TRUE(display.ok());
    auto planetPixels = [&](int atMs) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(atMs));
        const std::vector<uint32_t> screen = display.capture(static_cast<xcb_window_t>(editor), Editor::kWidth,
                                                             Editor::kHeight);
        std::vector<uint32_t> pixels;
        if (screen.empty()) return pixels;
        for (const gui::Rect& r : planets)
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    pixels.push_back(screen[static_cast<size_t>(y) * Editor::kWidth + static_cast<size_t>(x)] & 0xffffff);
        return pixels;
    };
    auto differing = [](const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        size_t n = 0;
        for (size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
        return n;
    };
    auto brightness = [](const std::vector<uint32_t>& p) {
        double sum = 0.0;
        for (uint32_t c : p) sum += ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255);
        return sum / std::max<size_t>(1, p.size());
    };
    const std::vector<uint32_t> dark = planetPixels(1300);
    const std::vector<uint32_t> lit = planetPixels(2900);
    const std::vector<uint32_t> litLater = planetPixels(3200);
    const std::vector<uint32_t> after = planetPixels(7300);
    ASSERT_EQ(finish(*renderer), 0) << readText(output);
    ASSERT_FALSE(dark.empty());
    ASSERT_EQ(dark.size(), lit.size());
    std::printf("planet pixels: %zu differ while sounding (mean brightness %.1f against %.1f), %zu between two "
                "captures 0.3 s apart, %zu after the note died away\n",
                differing(dark, lit), brightness(lit), brightness(dark), differing(lit, litLater),
                differing(dark, after));
    EXPECT_GT(differing(dark, lit), 20u) << "the planets do not glow while their tracks sound";
    EXPECT_GT(brightness(lit), brightness(dark)) << "the glow does not brighten the planets";
    EXPECT_EQ(differing(dark, after), 0u) << "the planets still glow after the sound has ended";
}

}  // namespace
