#include "tools/player/player_app.h"

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/registry_store.h"
#include "tools/player/audio_output.h"
#include "tools/player/console_input.h"
#include "tools/player/keyboard_octave.h"
#include "tools/player/midi_input.h"
#include "tools/player/player_engine.h"
#include "tools/player/player_host.h"
#include "tools/player/player_transport.h"
#include "tools/vst_host/host_frame.h"
#include "tools/vst_host/plugin_library.h"
#include "tools/vst_host/plugin_session.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// The instrument this player is made for; only it answers the private
// parameters, which another plug-in might not even range-check.
constexpr VstInt32 kTalvexUniqueId = vstFourCC('8', '0', '5', '5');
const char* const kSettingsKey = "software\\TalvexBass\\Settings";
const char* const kPlayerKey = "software\\TalvexBass\\Player";

constexpr int kIdleMs = 25;         // the editor's idle period, and the loop's
constexpr int kProgramPollMs = 100;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void pumpThreadMessages() {
#if defined(_WIN32)
    // The plug-in's windowless timer runs from this thread's message loop.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
#endif
}

// The player keeps the user bank: the first time it runs it turns the
// plug-in's save-on-close setting on; from then on the user's own choice in
// the menu stands.
void enableSaveOnCloseOnce() {
    uint32_t done = 0;
    if (platform::RegistryStore::readDword(kPlayerKey, "SaveOnCloseTurnedOn", done) && done != 0) return;
    platform::RegistryStore::writeDword(kSettingsKey, "SaveDefaultBank", 1);
    platform::RegistryStore::writeDword(kPlayerKey, "SaveOnCloseTurnedOn", 1);
}

class Player {
public:
    Player(const PlayerOptions& options, std::FILE* log) : options_(options), log_(log) {}
    int run();

private:
    bool talvex() const { return session_->effect()->uniqueID == kTalvexUniqueId; }
    AudioStreamRequest storedRequest();
    std::string storedMidiDevice();
    void openAudio(const AudioStreamRequest& request);
    void openMidi(const std::string& port);
    void publishDeviceLists();
    void applySettingsRequests(uint32_t requests);
    bool openEditor();
    void closeEditor();
    void pollProgram();
    void line(const char* format, ...);

    const PlayerOptions& options_;
    std::FILE* log_;
    std::unique_ptr<AudioOutput> audio_;
    std::unique_ptr<MidiInput> midi_;
    std::unique_ptr<PlayerHost> host_;
    std::unique_ptr<PluginSession> session_;
    std::unique_ptr<PlayerEngine> engine_;
    PlayerTransport transport_;
    AudioStreamRequest request_;
    AudioStreamInfo stream_;
    std::string midiPort_;
    bool midiOpen_ = false;
    std::unique_ptr<HostFrame> frame_;
    void* window_ = nullptr;
    bool editorOpen_ = false;
    VstIntPtr program_ = -1;
    std::string programName_;
};

void Player::line(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(log_, format, arguments);
    va_end(arguments);
    std::fputc('\n', log_);
    std::fflush(log_);
}

AudioStreamRequest Player::storedRequest() {
    AudioStreamRequest request;
    if (!talvex()) return request;
    const float rate = session_->getParameter(kPlayerSampleRateParameter);
    const float size = session_->getParameter(kPlayerBufferSizeParameter);
    // Stored values come from a file: only sensible ones are used.
    if (rate >= 8000.0f && rate <= 192000.0f) request.sampleRate = static_cast<int>(rate);
    if (size >= 16.0f && size <= 4096.0f) request.bufferFrames = static_cast<int>(size);
    request.device = session_->text(effGetParamDisplay, kPlayerAudioDeviceParameter);
    return request;
}

std::string Player::storedMidiDevice() {
    return talvex() ? session_->text(effGetParamDisplay, kPlayerMidiDeviceParameter) : std::string();
}

void Player::publishDeviceLists() {
    std::string rule;
    if (stream_.serverFixesFormat)
        rule = "Set by the JACK server: " + std::to_string(stream_.sampleRate) + " Hz, " +
               std::to_string(stream_.bufferFrames) + " frames";
    host_->setDeviceLists(audio_->deviceNames(), midi_->portNames(), rule);
}

void Player::openAudio(const AudioStreamRequest& request) {
    audio_->close();
    engine_->suspend();
    std::string error;
    AudioStreamInfo info;
    if (!audio_->open(request, engine_.get(), info, error)) {
        line("audio: cannot open \"%s\" at %d Hz, %d frames: %s", request.device.c_str(), request.sampleRate,
             request.bufferFrames, error.c_str());
        // Back to what played before, else the system's default.
        AudioStreamRequest fallback = request_;
        if (fallback.device == request.device) fallback.device.clear();
        error.clear();
        if (!audio_->open(fallback, engine_.get(), info, error)) {
            line("audio: no stream: %s", error.c_str());
            stream_ = AudioStreamInfo{};
            return;
        }
    } else {
        request_ = request;
    }
    stream_ = info;
    line("audio: %s \"%s\" %d Hz, %d frames%s", audio_->systemName().c_str(), info.device.c_str(), info.sampleRate,
         info.bufferFrames, info.serverFixesFormat ? " (the JACK server's rate and period)" : "");
    publishDeviceLists();
}

void Player::openMidi(const std::string& port) {
    midi_->close();
    std::string error;
    midiOpen_ = midi_->open(port, engine_.get(), error);
    if (!midiOpen_ && !port.empty()) {
        line("midi: cannot open \"%s\": %s", port.c_str(), error.c_str());
        error.clear();
        midiOpen_ = midi_->open("", engine_.get(), error);
        midiPort_.clear();
    } else {
        midiPort_ = port;
    }
    if (midiOpen_)
        line("midi: %s", midiPort_.empty() ? "own port talvex-midi:midi_in" : ("\"" + midiPort_ + "\"").c_str());
    else
        line("midi: no input (%s)", error.c_str());
}

void Player::applySettingsRequests(uint32_t requests) {
    if ((requests & (kRequestSampleRate | kRequestBufferSize | kRequestAudioDevice)) != 0) {
        const AudioStreamRequest next = storedRequest();
        line("settings: audio \"%s\" %d Hz, %d frames", next.device.c_str(), next.sampleRate, next.bufferFrames);
        openAudio(next);
    }
    if ((requests & kRequestMidiDevice) != 0) {
        const std::string port = storedMidiDevice();
        line("settings: midi \"%s\"", port.c_str());
        // Notes held on the old device would never hear their release.
        engine_->queueAllNotesOff();
        openMidi(port);
        publishDeviceLists();
    }
}

bool Player::openEditor() {
    if ((session_->effect()->flags & effFlagsHasEditor) == 0) {
        line("editor: the plug-in has none");
        return false;
    }
    std::string error;
    frame_ = HostFrame::create(error);
    if (!frame_) {
        line("editor: %s; running without it", error.c_str());
        return false;
    }
    ERect* rect = nullptr;
    session_->dispatch(effEditGetRect, 0, 0, &rect);
    const int width = rect != nullptr && rect->right > rect->left ? rect->right - rect->left : 1000;
    const int height = rect != nullptr && rect->bottom > rect->top ? rect->bottom - rect->top : 450;
    std::string title = session_->text(effGetEffectName);
    if (title.empty()) title = "Talvex";
    window_ = frame_->createWindow(width, height, title.c_str());
    if (window_ == nullptr) {
        line("editor: no window");
        frame_.reset();
        return false;
    }
    frame_->show(window_, true);
    if (session_->dispatch(effEditOpen, 0, 0, window_) == 0) line("editor: the plug-in did not open it");
    editorOpen_ = true;
    // The computer keyboard plays through the window too.
    if (options_.keyboard) frame_->watchKeys(window_);
    frame_->pump();
    if (!options_.editorInfoPath.empty()) {
        if (std::FILE* info = std::fopen(options_.editorInfoPath.c_str(), "w")) {
            std::fprintf(info, "frame %lx editor %lx\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window_)),
                         static_cast<unsigned long>(reinterpret_cast<uintptr_t>(frame_->firstChild(window_))));
            std::fclose(info);
        }
    }
    return true;
}

void Player::closeEditor() {
    if (editorOpen_) session_->dispatch(effEditClose);
    editorOpen_ = false;
    if (frame_ && window_ != nullptr) frame_->destroy(window_);
    window_ = nullptr;
    frame_.reset();
}

void Player::pollProgram() {
    const VstIntPtr program = session_->dispatch(effGetProgram);
    const std::string name = session_->text(effGetProgramName);
    if (program == program_ && name == programName_) return;
    program_ = program;
    programName_ = name;
    line("program: %ld \"%s\"", static_cast<long>(program), name.c_str());
}

int Player::run() {
    ConsoleInput::watchQuitSignals();
    std::string error;
    audio_ = AudioOutput::create(options_.audioSystem, error);
    midi_ = MidiInput::create(options_.midiSystem);
    if (options_.listDevices) {
        if (audio_) {
            std::fprintf(log_, "audio outputs (%s):\n", audio_->systemName().c_str());
            for (const std::string& name : audio_->deviceNames()) std::fprintf(log_, "  %s\n", name.c_str());
        } else {
            std::fprintf(log_, "audio outputs: none (%s)\n", error.c_str());
        }
        const std::string systems = midi_->systemNames();
        std::fprintf(log_, "MIDI inputs (%s):\n", systems.empty() ? "no MIDI system" : systems.c_str());
        for (const std::string& name : midi_->portNames()) std::fprintf(log_, "  %s\n", name.c_str());
        std::fprintf(log_, "plug-in: %s\n",
                     options_.pluginPath.empty() ? defaultPluginPath().c_str() : options_.pluginPath.c_str());
        return kPlayerOk;
    }
    // Without an output there is nothing to hear, but the window still
    // shows the instrument and its Settings menu; the exit status says so.
    const bool noAudio = !audio_;
    if (noAudio) {
        line("talvex: %s", error.c_str());
        if (!options_.gui) return kPlayerNoAudio;
        audio_ = std::make_unique<NoAudioOutput>(error);
    }

    const std::string path = options_.pluginPath.empty() ? defaultPluginPath() : options_.pluginPath;
    PluginLibrary library;
    if (!library.open(path, error)) {
        line("talvex: %s", error.c_str());
        return kPlayerPluginFailed;
    }
    enableSaveOnCloseOnce();
    host_ = std::make_unique<PlayerHost>(44100.0, 1024);
    AEffect* effect = library.entry()(HostCallback::callback);
    if (effect == nullptr || effect->magic != kEffectMagic) {
        line("talvex: %s did not start", path.c_str());
        return kPlayerPluginFailed;
    }
    session_ = std::make_unique<PluginSession>(effect);
    session_->dispatch(effOpen);
    line("plug-in: %s", path.c_str());
    if (options_.program >= 0 && options_.program < effect->numPrograms) {
        session_->dispatch(effBeginSetProgram);
        session_->dispatch(effSetProgram, 0, options_.program);
        session_->dispatch(effEndSetProgram);
    }
    transport_.setTempo(options_.tempoBpm);
    transport_.setPlaying(!options_.stopped);
    engine_ = std::make_unique<PlayerEngine>(effect, *host_, transport_);

    AudioStreamRequest request = storedRequest();
    if (options_.audioDeviceGiven) request.device = options_.audioDevice;
    if (options_.sampleRate > 0) request.sampleRate = options_.sampleRate;
    if (options_.bufferFrames > 0) request.bufferFrames = options_.bufferFrames;
    request_ = request;
    openAudio(request);
    openMidi(options_.midiDeviceGiven ? options_.midiDevice : storedMidiDevice());
    publishDeviceLists();

    if (options_.gui) openEditor();
    ConsoleInput console(options_.keyboard);
    KeyboardOctave keyboard([this](uint8_t status, uint8_t data1, uint8_t data2) {
        const uint8_t message[3] = {status, data1, data2};
        engine_->receiveMidi(message, 3);
    });
    if (console.readsKeys() && midiPort_.empty())
        line("keyboard: a w s e d f t g y h u j k play, z x move the octave, space starts and stops, q quits");
    else if (frame_ && options_.keyboard && midiPort_.empty())
        line("keyboard: the editor's window plays a w s e d f t g y h u j k, z x move the octave");

    int64_t nextProgramPoll = 0;
    const int64_t quitAt =
        options_.quitAfterSeconds > 0.0 ? nowMs() + static_cast<int64_t>(options_.quitAfterSeconds * 1000.0) : -1;
    for (;;) {
        const int64_t now = nowMs();
        if (frame_) {
            // The frame's pump runs the thread's messages too.
            frame_->pump();
            if (frame_->closeRequested()) {
                line("editor: window closed");
                break;
            }
            HostFrame::KeyStroke stroke;
            while (frame_->nextKey(stroke)) {
                if (stroke.key == ' ' && stroke.down) transport_.setPlaying(!transport_.playing());
                if (!options_.keyboard || !midiPort_.empty()) continue;
                if (stroke.down)
                    keyboard.hold(stroke.key);
                else
                    keyboard.release(stroke.key);
            }
        } else {
            pumpThreadMessages();
        }
        if (editorOpen_) session_->dispatch(effEditIdle);
        while (char key = console.nextKey()) {
            if (key == 'q') ConsoleInput::requestQuit();
            if (key == ' ') transport_.setPlaying(!transport_.playing());
            if (midiPort_.empty()) keyboard.press(key, now);
        }
        keyboard.update(now);
        if (const uint32_t requests = host_->takeSettingsRequests()) applySettingsRequests(requests);
        if (now >= nextProgramPoll) {
            pollProgram();
            nextProgramPoll = now + kProgramPollMs;
        }
        if (quitAt >= 0 && now >= quitAt) ConsoleInput::requestQuit();
        if (ConsoleInput::quitRequested()) {
            line("quit requested");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kIdleMs));
    }

    keyboard.releaseAll();
    closeEditor();
    audio_->close();
    midi_->close();
    engine_->suspend();
    if (engine_->droppedMessages() > 0)
        line("midi: %lld messages dropped (queue full)", static_cast<long long>(engine_->droppedMessages()));
    // effClose stores the plug-in's settings (the devices) and, with
    // save-on-close on, the user bank.
    session_->close();
    const long long rendered = static_cast<long long>(engine_->renderedFrames());
    engine_.reset();
    session_.reset();
    library.close();
    line("quit: %lld frames rendered", rendered);
    return noAudio ? kPlayerNoAudio : kPlayerOk;
}

}  // namespace

int runPlayer(const PlayerOptions& options, std::FILE* log) {
    Player player(options, log);
    return player.run();
}
