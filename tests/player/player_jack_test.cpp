// The player as a user runs it, against a JACK server on its dummy backend:
// a JACK client of the test plays MIDI into the player's port and records
// what the player sends to it. Measured: silence before the first note, the
// pitch of known notes, the sound of another program after a MIDI program
// change, a clean exit on SIGTERM with the user bank stored; and with the
// editor on a private Xvfb, the Settings menu's device choices clicked as a
// user clicks them: the stream moves to another output without losing or
// sticking a held note, a new MIDI device ends the notes held on the old
// one, the window's close button quits, and the next start finds the
// devices chosen.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/main_menu.h"
#include "platform/registry_store.h"
#include "tests/gui_window/x11_test_support.h"
#include "tests/player/jack_test_client.h"
#include "tests/plugin_window/editor_x11_support.h"

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;

using editor_x11::ChildProcess;
using editor_x11::makeFolder;
using editor_x11::readText;

// The player's command line: the plug-in built beside it, then arguments.
std::vector<std::string> playerArguments(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {TALVEX_PLAYER_EXE, TALVEX_PLUGIN_PATH});
    return arguments;
}

// Waits until the client's timeline reaches frame.
void waitForFrame(const JackTestClient& client, int64_t frame) {
    for (int i = 0; i < 6000 && client.frame() < frame; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

double levelDb(const std::vector<float>& x, int64_t from, int64_t to) {
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, static_cast<int64_t>(x.size()));
    double sum = 0.0;
    for (int64_t i = from; i < to; ++i) sum += static_cast<double>(x[static_cast<size_t>(i)]) * x[static_cast<size_t>(i)];
    const double rms = to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
    return 20.0 * std::log10(rms + 1e-12);
}

// The first frame at or after from whose sample passes -60 dBFS; -1 if none.
int64_t onset(const std::vector<float>& x, int64_t from) {
    for (int64_t i = std::max<int64_t>(from, 0); i < static_cast<int64_t>(x.size()); ++i)
        if (std::fabs(x[static_cast<size_t>(i)]) > 1e-3f) return i;
    return -1;
}

// The fundamental of a window by autocorrelation: the first lag whose
// normalised correlation peaks above 0.8 of the best, refined by a
// parabola through its neighbours.
double fundamentalHz(const std::vector<float>& x, int64_t from, int frames, int rate) {
    if (from < 0 || from + frames * 2 > static_cast<int64_t>(x.size())) return 0.0;
    const float* s = x.data() + from;
    const int minLag = rate / 2000, maxLag = rate / 50;
    std::vector<double> r(static_cast<size_t>(maxLag + 2), 0.0);
    for (int lag = minLag - 1; lag <= maxLag + 1; ++lag) {
        double sum = 0.0, e0 = 0.0, e1 = 0.0;
        for (int i = 0; i < frames; ++i) {
            sum += static_cast<double>(s[i]) * s[i + lag];
            e0 += static_cast<double>(s[i]) * s[i];
            e1 += static_cast<double>(s[i + lag]) * s[i + lag];
        }
        r[static_cast<size_t>(lag)] = sum / std::sqrt(e0 * e1 + 1e-30);
    }
    double best = 0.0;
    for (int lag = minLag; lag <= maxLag; ++lag) best = std::max(best, r[static_cast<size_t>(lag)]);
    for (int lag = minLag; lag <= maxLag; ++lag) {
        const double a = r[static_cast<size_t>(lag - 1)], b = r[static_cast<size_t>(lag)], c = r[static_cast<size_t>(lag + 1)];
        if (b >= 0.8 * best && b >= a && b >= c) {
            const double shift = (a - c) / (2.0 * (a - 2.0 * b + c));
            return rate / (lag + (std::isfinite(shift) ? shift : 0.0));
        }
    }
    return 0.0;
}

double cents(double hz, double expected) { return 1200.0 * std::log2(hz / expected); }

// Attack against sustain: the level of the first 100 ms after the onset
// minus the level 0.3 ... 0.8 s after it.
double attackDb(const std::vector<float>& x, int64_t start) {
    return levelDb(x, start, start + kRate / 10) - levelDb(x, start + kRate * 3 / 10, start + kRate * 8 / 10);
}

std::string uniqueName(const char* what) { return std::string("tvx") + what + std::to_string(getpid()); }

// A settings folder of the test's own, where the player and the plug-in
// keep what they store.
std::string settingsFolder(const char* title) {
    const std::string folder = makeFolder(title);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    return folder;
}

// The user programs the tests play, found by name in the plug-in's own list
// (the library's order changes as projects are added; the user programs
// hold the basses and leads): a bass line whose notes keep their level
// while held, and an acid line whose notes chirp and die away.
struct TestPrograms {
    int struck = -1;
    int chirp = -1;
    std::string struckName = "ACIDLINE";
    std::string chirpName = "SQUAREACID";
};

TestPrograms findTestPrograms(const std::string& folder) {
    TestPrograms found;
    const editor_x11::PluginLists lists = editor_x11::readPluginLists(folder);
    found.struck = lists.program(found.struckName);
    found.chirp = lists.program(found.chirpName);
    return found;
}

TEST(PlayerOnJack, PlaysNotesAtTheirPitchesFollowsProgramChangesAndQuitsOnSigterm) {
    const std::string folder = settingsFolder("talvex-player-jack");
    JackServer server(uniqueName("a"), kRate, kPeriod);
    ASSERT_TRUE(server.running()) << "jackd did not start (scripts/setup-debian.sh tests installs jackd2)";
    JackTestClient recorder;
    std::string error;
    ASSERT_TRUE(recorder.open("tvxrec", 20000, error)) << error << "\n" << readText("/tmp/" + server.name() + ".jackd.log");
    ASSERT_EQ(recorder.sampleRate(), kRate);

    const std::string playerLog = folder + "/player.log";
    const TestPrograms programs = findTestPrograms(folder);
    ASSERT_GE(programs.struck, 0) << "no user program " << programs.struckName;
    ASSERT_GE(programs.chirp, 0) << "no user program " << programs.chirpName;
    ChildProcess player(
        playerArguments({"--no-gui", "--audio-device", "tvxrec", "--program", std::to_string(programs.struck)}),
        playerLog, playerLog + ".err");
    ASSERT_GT(player.pid(), 0);
    ASSERT_TRUE(player.waitForOutput("midi: own port")) << player.output() << readText(folder + "/player.log.err");
    EXPECT_NE(player.output().find("audio: jack \"tvxrec\" 48000 Hz, 256 frames"), std::string::npos) << player.output();
    ASSERT_TRUE(recorder.connect("tvxrec:midi_out", "talvex-midi:midi_in"));

    const int64_t t0 = recorder.frame() + kRate;
    recorder.send(t0, 0x90, 69, 100);
    recorder.send(t0 + kRate, 0x80, 69, 0);
    recorder.send(t0 + kRate * 3 / 2, 0x90, 57, 100);
    recorder.send(t0 + kRate * 5 / 2, 0x80, 57, 0);
    recorder.send(t0 + kRate * 4, 0xC0, static_cast<uint8_t>(programs.chirp), 0);  // to the acid line's user program
    recorder.send(t0 + kRate * 5, 0x90, 45, 100);                                    // A2, in its bass range
    recorder.send(t0 + kRate * 6, 0x80, 45, 0);
    waitForFrame(recorder, t0 + kRate * 7);
    const std::vector<float> left = recorder.recorded(0);
    ASSERT_GE(static_cast<int64_t>(left.size()), t0 + kRate * 7);

    // Nothing sounds before the first note, which starts within a few
    // periods of its frame (the player's output latency).
    const double before = levelDb(left, t0 - kRate / 2, t0);
    const int64_t a4 = onset(left, t0);
    const int64_t again = onset(left, t0 + kRate * 5);
    // The first note's tail still sounds when the second starts: its
    // window is placed by the first one's latency.
    ASSERT_GE(a4, t0);
    const int64_t a3 = a4 + kRate * 3 / 2;
    std::printf("before the first note %.1f dB; the note sounds %lld frames after it was sent\n", before,
                static_cast<long long>(a4 - t0));
    EXPECT_LT(before, -90.0);
    EXPECT_LT(a4 - t0, 8 * kPeriod);
    EXPECT_GT(levelDb(left, a4, a4 + kRate / 2), -30.0);

    const double hzA4 = fundamentalHz(left, a4 + kRate * 3 / 10, 4096, kRate);
    // Late in the note, where the first one's tail has died down.
    const double hzA3 = fundamentalHz(left, a3 + kRate * 6 / 10, 4096, kRate);
    std::printf("A4 %.2f Hz (%+.1f cents), A3 %.2f Hz (%+.1f cents)\n", hzA4, cents(hzA4, 440.0), hzA3,
                cents(hzA3, 220.0));
    EXPECT_LT(std::fabs(cents(hzA4, 440.0)), 15.0);
    EXPECT_LT(std::fabs(cents(hzA3, 220.0)), 15.0);

    // The program change loads another project: the player reports it, and
    // a note now chirps and dies away, its first 0.1 s far above the rest
    // of it, where the first project's notes kept their level (rendered
    // offline at 48 kHz: +18.9 dB against -1.9 dB).
    const std::string started = "program: " + std::to_string(programs.struck) + " \"" + programs.struckName + "\"";
    const std::string changed = "program: " + std::to_string(programs.chirp) + " \"" + programs.chirpName + "\"";
    EXPECT_NE(player.output().find(started), std::string::npos) << player.output();
    EXPECT_NE(player.output().find(changed), std::string::npos) << player.output();
    ASSERT_GT(again, 0);
    const double attackFirst = attackDb(left, a4), attackAfter = attackDb(left, again);
    std::printf("attack against the rest of the note: %s %.1f dB, %s %.1f dB\n", programs.struckName.c_str(), attackFirst,
                programs.chirpName.c_str(), attackAfter);
    EXPECT_GT(attackFirst, -6.0);
    EXPECT_LT(attackFirst, 4.0);
    EXPECT_GT(attackAfter, 10.0);

    ASSERT_EQ(kill(player.pid(), SIGTERM), 0);
    EXPECT_EQ(player.waitForExit(10000), 0) << player.output();
    const std::string log = player.output();
    EXPECT_NE(log.find("quit requested"), std::string::npos) << log;
    EXPECT_NE(log.find("quit: "), std::string::npos) << log;
    // The player turned save-on-close on, so the user bank was stored at
    // the exit.
    uint32_t saveOnClose = 0;
    EXPECT_TRUE(platform::RegistryStore::readDword("software\\TalvexBass\\Settings", "SaveDefaultBank", saveOnClose));
    EXPECT_EQ(saveOnClose, 1u);
    std::vector<uint8_t> bank;
    EXPECT_TRUE(platform::RegistryStore::readBinary("software\\TalvexBass\\Data", "UserBank", bank));
    EXPECT_GT(bank.size(), 1000u);
}

// The devices as the player lists them (and so as its editor shows them).
void listDevices(std::vector<std::string>& audio, std::vector<std::string>& midi, const std::string& folder) {
    const std::string out = folder + "/devices.txt";
    std::system((std::string(TALVEX_PLAYER_EXE) + " --list-devices > " + out + " 2>/dev/null").c_str());
    std::istringstream text(readText(out));
    std::vector<std::string>* list = nullptr;
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("audio outputs", 0) == 0) list = &audio;
        else if (line.rfind("MIDI inputs", 0) == 0) list = &midi;
        else if (list != nullptr && line.rfind("  ", 0) == 0) list->push_back(line.substr(2));
    }
}

// Sends WM_DELETE_WINDOW to a top-level window, as a window manager does
// when the user clicks its close button.
void askToClose(unsigned long window) {
    TestDisplay display;
    ASSERT_TRUE(display.ok());
    xcb_connection_t* c = display.connection();
    auto atom = [&](const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    };
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window);
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, static_cast<xcb_window_t>(window), XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    display.sync();
}

TEST(PlayerOnJack, SettingsMenuDeviceChoicesReopenWithoutLostOrStuckNotesAndAreRemembered) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under tests/gui_window/run_with_xvfb.sh";
    const std::string folder = settingsFolder("talvex-player-editor");
    JackServer server(uniqueName("b"), kRate, kPeriod);
    ASSERT_TRUE(server.running());
    JackTestClient first, second;
    std::string error;
    ASSERT_TRUE(first.open("tvxfirst", 20000, error)) << error;
    ASSERT_TRUE(second.open("tvxsecond", 20000, error)) << error;

    std::vector<std::string> audioDevices, midiDevices;
    listDevices(audioDevices, midiDevices, folder);
    ASSERT_NE(std::find(audioDevices.begin(), audioDevices.end(), "tvxsecond"), audioDevices.end());
    ASSERT_NE(std::find(midiDevices.begin(), midiDevices.end(), "tvxfirst:midi_out"), midiDevices.end());

    const std::string info = folder + "/editor.txt";
    const std::string playerLog = folder + "/player.log";
    // The struck bass line: its notes end soon after their release.
    const TestPrograms programs = findTestPrograms(folder);
    ASSERT_GE(programs.struck, 0) << "no user program " << programs.struckName;
    ChildProcess player(playerArguments({"--audio-device", "tvxfirst", "--editor-info", info, "--program",
                                         std::to_string(programs.struck)}),
                        playerLog, playerLog + ".err");
    ASSERT_TRUE(player.waitForOutput("midi: own port")) << player.output() << readText(folder + "/player.log.err");
    const unsigned long editor = editor_x11::waitForWindowId(info, "editor");
    const unsigned long frame = editor_x11::waitForWindowId(info, "frame");
    ASSERT_NE(editor, 0u) << player.output();
    ASSERT_TRUE(first.connect("tvxfirst:midi_out", "talvex-midi:midi_in"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    main_menu::State state;
    state.standaloneHost = true;
    state.versionText = kVersionText;
    state.audioDevices = audioDevices;
    state.midiDevices = midiDevices;
    state.audioDevice = "";
    state.formatRule = "Set by the JACK server: 48000 Hz, 256 frames";
    editor_x11::EditorPointer clicks(editor, 250);

    // A note held across the move to the second output. Reopening the
    // stream switches the plug-in off and on, which ends what it played, so
    // the held note must not come back stuck; a note played after the move
    // sounds on the second output, and its release ends it.
    const int64_t on = first.frame() + kRate / 4;
    first.send(on, 0x90, 69, 100);
    waitForFrame(first, on + kRate / 2);
    const std::vector<gui::Point> toSecond = editor_x11::drawnMenuPath(state, {"Settings", "Audio Output Device", "tvxsecond"});
    ASSERT_EQ(toSecond.size(), 3u);
    clicks.choose(toSecond);
    ASSERT_TRUE(player.waitForOutput("audio: jack \"tvxsecond\"", 10000)) << player.output();
    const int64_t moved = second.frame();
    waitForFrame(second, moved + kRate / 4);
    first.send(first.frame(), 0x80, 69, 0);
    first.send(first.frame(), 0x90, 72, 100);
    const int64_t struck = second.frame();
    waitForFrame(second, struck + kRate / 2);
    const double playedThere = levelDb(second.recorded(0), struck + kRate / 4, struck + kRate / 2);
    const int64_t off = second.frame();
    first.send(first.frame(), 0x80, 72, 0);
    waitForFrame(second, off + kRate * 5 / 2);
    const std::vector<float> atSecond = second.recorded(0);
    const double afterRelease = levelDb(atSecond, off + kRate * 2, off + kRate * 5 / 2);
    const double firstAfterMove = levelDb(first.recorded(0), first.frame() - kRate / 2, first.frame());
    std::printf("note played on the second output %.1f dB, 2 s after its release %.1f dB; first output after the move %.1f dB\n",
                playedThere, afterRelease, firstAfterMove);
    EXPECT_GT(playedThere, -30.0) << "a note played after the move is not heard on the new output";
    EXPECT_LT(afterRelease, -80.0) << "a note stuck across the move";
    EXPECT_LT(firstAfterMove, -120.0) << "the first output still receives sound";

    // A note held on the player's own port while the MIDI input moves to
    // the first client's port: the move ends it (its release would never
    // come), and the new input plays.
    state.audioDevice = "tvxsecond";
    first.send(first.frame(), 0x90, 69, 100);
    waitForFrame(second, second.frame() + kRate / 2);
    const std::vector<gui::Point> toMidi = editor_x11::drawnMenuPath(state, {"Settings", "MIDI Input Device", "tvxfirst:midi_out"});
    ASSERT_EQ(toMidi.size(), 3u);
    clicks.choose(toMidi);
    ASSERT_TRUE(player.waitForOutput("midi: \"tvxfirst:midi_out\"", 10000)) << player.output();
    const int64_t switched = second.frame();
    waitForFrame(second, switched + kRate * 5 / 2);
    const double endedByMove = levelDb(second.recorded(0), switched + kRate * 2, switched + kRate * 5 / 2);
    const int64_t played = first.frame() + kRate / 10;
    first.send(played, 0x90, 64, 100);  // reaches the player only through the chosen device now
    first.send(played + kRate / 2, 0x80, 64, 0);
    waitForFrame(second, second.frame() + kRate);
    const std::vector<float> afterMidiMove = second.recorded(0);
    const double newInput = levelDb(afterMidiMove, static_cast<int64_t>(afterMidiMove.size()) - kRate,
                                    static_cast<int64_t>(afterMidiMove.size()));
    std::printf("note held on the old input, 2 s after the move %.1f dB; a note from the new input %.1f dB\n",
                endedByMove, newInput);
    EXPECT_LT(endedByMove, -70.0) << "the note held on the old input stuck";
    EXPECT_GT(newInput, -40.0) << "the chosen MIDI input does not play";

    // The window's close button quits; the choices are stored and the next
    // start opens them.
    askToClose(frame);
    EXPECT_EQ(player.waitForExit(10000), 0) << player.output();
    EXPECT_NE(player.output().find("editor: window closed"), std::string::npos) << player.output();
    std::string stored;
    EXPECT_TRUE(platform::RegistryStore::readString("software\\TalvexBass\\Settings", "AudioDevice", stored, 255));
    EXPECT_EQ(stored, "tvxsecond");
    EXPECT_TRUE(platform::RegistryStore::readString("software\\TalvexBass\\Settings", "MidiDevice", stored, 255));
    EXPECT_EQ(stored, "tvxfirst:midi_out");
    const std::string againLog = folder + "/again.log";
    ChildProcess again(playerArguments({"--no-gui"}), againLog, againLog + ".err");
    EXPECT_TRUE(again.waitForOutput("midi: \"tvxfirst:midi_out\"")) << again.output();
    EXPECT_NE(again.output().find("audio: jack \"tvxsecond\""), std::string::npos) << again.output();
    kill(again.pid(), SIGTERM);
    EXPECT_EQ(again.waitForExit(10000), 0) << again.output();
}

// The computer keyboard in the editor's window, typed through the X
// server's test extension as a user types: a key held plays its note for as
// long as it is held, at its pitch, on the player's output.
TEST(PlayerOnJack, KeysTypedIntoTheEditorWindowPlayNotesUntilReleased) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under tests/gui_window/run_with_xvfb.sh";
    const std::string folder = settingsFolder("talvex-player-keys");
    JackServer server(uniqueName("c"), kRate, kPeriod);
    ASSERT_TRUE(server.running());
    std::string error;
    JackTestClient recorder;
    ASSERT_TRUE(recorder.open("tvxkeys", 20000, error)) << error;
    const TestPrograms programs = findTestPrograms(folder);
    ASSERT_GE(programs.struck, 0) << "no user program " << programs.struckName;

    const std::string info = folder + "/editor.txt", playerLog = folder + "/player.log";
    ChildProcess player(playerArguments({"--audio-device", "tvxkeys", "--editor-info", info, "--stopped", "--program",
                                         std::to_string(programs.struck)}),
                        playerLog, playerLog + ".err");
    ASSERT_TRUE(player.waitForOutput("keyboard: the editor's window plays")) << player.output()
                                                                             << readText(playerLog + ".err");
    const unsigned long frame = editor_x11::waitForWindowId(info, "frame");
    const unsigned long editor = editor_x11::waitForWindowId(info, "editor");
    ASSERT_NE(editor, 0u) << player.output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // The window has the keyboard focus, the pointer rests on the editor.
    ASSERT_TRUE(xdotool("windowfocus --sync " + std::to_string(frame)));
    ASSERT_TRUE(xdotool("mousemove --window " + std::to_string(editor) + " 600 300"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const int64_t quiet = recorder.frame();
    ASSERT_TRUE(xdotool("keydown h"));  // A4
    const int64_t down = recorder.frame();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ASSERT_TRUE(xdotool("keyup h"));
    const int64_t up = recorder.frame();
    waitForFrame(recorder, up + kRate * 2);
    const std::vector<float> left = recorder.recorded(0);

    const int64_t start = onset(left, quiet);
    ASSERT_GE(start, 0) << "the key played nothing: " << player.output();
    const double before = levelDb(left, quiet - kRate / 4, quiet);
    const double held = levelDb(left, start, std::min(start + kRate / 2, up));
    const double hz = fundamentalHz(left, start + kRate / 10, 4096, kRate);
    const double afterRelease = levelDb(left, up + kRate * 3 / 2, up + kRate * 2);
    std::printf("key h: sounds %lld frames after the press, %.1f dB held, %.2f Hz (%+.1f cents), "
                "%.1f dB 1.5 s after the release (%.1f dB before)\n",
                static_cast<long long>(start - down), held, hz, cents(hz, 440.0), afterRelease, before);
    EXPECT_LT(before, -90.0);
    EXPECT_LT(start - down, kRate / 5) << "the note came late";
    EXPECT_GT(held, -30.0);
    EXPECT_LT(std::fabs(cents(hz, 440.0)), 15.0);
    EXPECT_LT(afterRelease, -70.0) << "the note did not end with its key";

    kill(player.pid(), SIGTERM);
    EXPECT_EQ(player.waitForExit(10000), 0) << player.output();
}

}  // namespace
