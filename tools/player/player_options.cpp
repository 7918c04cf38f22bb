#include "tools/player/player_options.h"

#include "tools/vst_host/command_line.h"

const char* playerUsage() {
    return "usage: talvex [PLUGIN] [options]\n"
           "Plays the Talvex instrument (or any VST 2.4 instrument given by path) with a MIDI keyboard.\n"
           "  --no-gui                 no editor window; runs until interrupted\n"
           "  --list-devices           lists the audio outputs and MIDI inputs, then quits\n"
           "  --audio-system NAME      jack, pulse or alsa (Windows: winmm); default: the first that works\n"
           "  --midi-system NAME       alsa or jack (Windows: winmm); default: every one that starts\n"
           "  --audio-device NAME      the audio output for this run (default: the stored choice)\n"
           "  --midi-device NAME       the MIDI input for this run; \"\" for the player's own port\n"
           "  --sample-rate HZ         8000 ... 192000 (JACK: the server's rate rules)\n"
           "  --buffer-size FRAMES     16 ... 4096 (JACK: the server's period rules)\n"
           "  --tempo BPM              the transport's tempo, 20 ... 300 (default 120)\n"
           "  --stopped                start with the transport stopped\n"
           "  --program N              start with user program N\n"
           "  --no-keyboard            the computer keyboard does not play\n"
           "  --editor-info FILE       writes the editor's window ids to FILE once it is open\n"
           "  --quit-after SECONDS     quits on its own (as on SIGTERM) after this long\n"
           "  -h, --help               this text\n"
           "Computer keyboard (no MIDI device chosen), in the editor's window or the terminal:\n"
           "a w s e d f t g y h u j k play an octave, z and x move it down and up, space starts\n"
           "and stops the transport.\n";
}

bool parsePlayerOptions(const std::vector<std::string>& arguments, PlayerOptions& options, std::string& error) {
    OptionReader reader(arguments);
    while (reader.next()) {
        const std::string& argument = reader.argument();
        auto value = [&](std::string& out) { return reader.value(out, error); };
        auto integer = [&](int64_t low, int64_t high, int& out) {
            int64_t read = 0;
            if (!reader.integer(low, high, read, error)) return false;
            out = static_cast<int>(read);
            return true;
        };
        if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "--no-gui") {
            options.gui = false;
        } else if (argument == "--list-devices") {
            options.listDevices = true;
        } else if (argument == "--stopped") {
            options.stopped = true;
        } else if (argument == "--no-keyboard") {
            options.keyboard = false;
        } else if (argument == "--audio-system") {
            if (!value(options.audioSystem)) return false;
        } else if (argument == "--midi-system") {
            if (!value(options.midiSystem)) return false;
        } else if (argument == "--audio-device") {
            if (!value(options.audioDevice)) return false;
            options.audioDeviceGiven = true;
        } else if (argument == "--midi-device") {
            if (!value(options.midiDevice)) return false;
            options.midiDeviceGiven = true;
        } else if (argument == "--editor-info") {
            if (!value(options.editorInfoPath)) return false;
        } else if (argument == "--sample-rate") {
            if (!integer(8000, 192000, options.sampleRate)) return false;
        } else if (argument == "--buffer-size") {
            if (!integer(16, 4096, options.bufferFrames)) return false;
        } else if (argument == "--tempo") {
            if (!reader.number(20.0, 300.0, options.tempoBpm, error)) return false;
        } else if (argument == "--quit-after") {
            if (!reader.number(0.001, 1e6, options.quitAfterSeconds, error)) return false;
        } else if (argument == "--program") {
            if (!integer(0, 1 << 20, options.program)) return false;
        } else if (!argument.empty() && argument[0] == '-') {
            error = "unknown option " + argument;
            return false;
        } else if (options.pluginPath.empty()) {
            options.pluginPath = argument;
        } else {
            error = "more than one plug-in given: " + options.pluginPath + " and " + argument;
            return false;
        }
    }
    return true;
}
