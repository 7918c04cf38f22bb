#include "tools/talvex_render/render_options.h"

#include "tools/talvex_render/transport.h"

namespace {

// Sample rates and block sizes any VST host might use; beyond these a
// plug-in is not being tested, it is being abused.
constexpr double kMinSampleRate = 8000.0;
constexpr double kMaxSampleRate = 384000.0;
constexpr int64_t kMaxBlockSize = 65536;

// An index or value of a vendor-specific call: a number, or a
// four-character code such as Demo (the first character the most
// significant byte, as in VST's own constants).
bool parseCode(const std::string& text, int64_t& out) {
    if (parseInteger(text, out)) return true;
    if (text.size() != 4) return false;
    out = static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
                               (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
                               (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) |
                               static_cast<uint32_t>(static_cast<uint8_t>(text[3])));
    return true;
}

std::vector<std::string> splitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t cut = text.find(separator, start);
        parts.push_back(text.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
        if (cut == std::string::npos) break;
        start = cut + 1;
    }
    return parts;
}

bool parseVendorCall(const std::string& text, VendorCall& call) {
    std::string head = text;
    size_t at = text.rfind('@');
    if (at != std::string::npos) {
        if (!parseTimeValue(text.substr(at + 1), call.at)) return false;
        call.setUp = call.at.amount == 0.0;
        head = text.substr(0, at);
    }
    std::vector<std::string> parts = splitOn(head, ',');
    if (parts.empty() || parts.size() > 3) return false;
    int64_t index = 0, value = 0;
    if (!parseCode(parts[0], index) || index < INT32_MIN || index > INT32_MAX) return false;
    if (parts.size() > 1 && !parseCode(parts[1], value)) return false;
    double opt = 0.0;
    if (parts.size() > 2 && !parseDouble(parts[2], opt)) return false;
    call.index = static_cast<int32_t>(index);
    call.value = static_cast<intptr_t>(value);
    call.opt = static_cast<float>(opt);
    return true;
}

}  // namespace

const char* renderUsage() {
    return "usage: talvex-render PLUGIN [options]\n"
           "Loads a VST 2.4 instrument, plays MIDI into it and writes what it renders to a WAV file.\n"
           "\n"
           "  -o, --output FILE         WAV file to write (required unless --info)\n"
           "      --info                print what the plug-in declares and exit\n"
           "  -r, --sample-rate HZ      sample rate (44100)\n"
           "  -b, --block-size FRAMES   frames per process call (512)\n"
           "  -d, --duration TIME       length of the render; without it the render lasts until\n"
           "                            the MIDI ends, plus the tail\n"
           "      --tail TIME           rendered after the last event (2s)\n"
           "  -m, --midi FILE           Standard MIDI File to play (repeatable)\n"
           "  -e, --events FILE         text event list to play (repeatable), lines like\n"
           "                            '0.5s note_on 0 60 100' (see the README)\n"
           "      --program N           select program N before rendering\n"
           "      --chunk FILE          load a .fxb/.fxp file, or a raw chunk (bank unless the\n"
           "                            name ends in .fxp or --chunk-type says otherwise)\n"
           "                            (--program, --chunk, --param and vendor calls without a\n"
           "                            time are applied in the order given, before rendering)\n"
           "      --chunk-type bank|program\n"
           "      --force-chunk         load a .fxb/.fxp made for another plug-in id\n"
           "      --param INDEX=VALUE   set a parameter (0..1) before rendering (repeatable)\n"
           "      --vendor-specific INDEX[,VALUE[,OPT]][@TIME]\n"
           "                            send effVendorSpecific before the block at TIME; without\n"
           "                            TIME (or at 0) it is sent in its place among the set-up;\n"
           "                            INDEX and VALUE are numbers or four-character codes\n"
           "      --save-chunk FILE     after rendering, write the plug-in's bank chunk as it is\n"
           "      --save-fxb FILE       after rendering, write it as a VST bank file (FBCh)\n"
           "      --final-state FILE    after rendering, write the current program, its name and\n"
           "                            every parameter's value and text\n"
           "      --tempo BPM           transport tempo (120, or the MIDI file's first tempo)\n"
           "      --time-sig N/D        transport time signature (4/4, or the MIDI file's)\n"
           "      --stopped             start with the transport stopped\n"
           "      --play-at TIME        start the transport at TIME (repeatable)\n"
           "      --stop-at TIME        stop the transport at TIME (repeatable)\n"
           "      --transport LIST      comma-separated changes: play@T, stop@T,\n"
           "                            locate@T=QUARTERS, tempo@T=BPM, sig@T=N/D\n"
           "      --no-time-info        answer audioMasterGetTime with 0\n"
           "      --standalone-host     identify as the maker's stand-alone host\n"
           "      --pcm16               write 16-bit PCM instead of 32-bit float\n"
           "      --all-outputs         write every output, not only the first two\n"
           "      --automation-log FILE record audioMasterAutomate calls ('-' = stdout)\n"
           "      --realtime            pace the render at real time (plug-in timers run as live)\n"
           "      --progress | --no-progress\n"
           "      --show-editor SECONDS open the plug-in's editor in a window of its own for\n"
           "                            SECONDS while rendering in real time (the render lasts\n"
           "                            as long unless --duration says otherwise)\n"
           "      --editor-order lmms|ardour\n"
           "                            lmms: effEditOpen into a hidden 8 x 8 window before\n"
           "                            effEditGetRect, editor calls on the thread that created\n"
           "                            the plug-in, idle every 50 ms; ardour: effEditOpen on a\n"
           "                            thread of its own into an unmapped 1 x 1 window, the\n"
           "                            rect 100 ms later, reparented into the frame, idle every\n"
           "                            40 ms (default lmms)\n"
           "      --editor-cycles N     open and close the editor N times within SECONDS\n"
           "      --editor-hide-after SECONDS\n"
           "                            hide the frame (idle goes on) after SECONDS\n"
           "      --editor-close-twice  send effEditClose twice\n"
           "      --editor-destroy-parent-first\n"
           "                            destroy the host's windows before effEditClose\n"
           "      --editor-info FILE    write the window ids (frame, parent, editor) once open\n"
           "  -v, --verbose             report what is sent to the plug-in\n"
           "  -h, --help\n"
           "\n"
           "TIME is a frame count (22050), seconds (1.5s), milliseconds (250ms) or quarter notes\n"
           "at the starting tempo (4b). Exit status: 0 done, 1 bad command line, 2 bad input\n"
           "file, 3 plug-in failed to load or start, 4 output not written.\n";
}

bool parseRenderOptions(const std::vector<std::string>& arguments, RenderOptions& options, bool& help,
                        std::string& error) {
    RenderOptions parsed;
    help = false;
    OptionReader reader(arguments);
    while (reader.next()) {
        const std::string& argument = reader.argument();
        auto value = [&](std::string& out) { return reader.value(out, error); };
        auto bad = [&](const std::string& text) { return reader.refuse(text, error); };
        std::string text;
        if (argument == "-h" || argument == "--help") {
            help = true;
            return true;
        } else if (argument == "-o" || argument == "--output") {
            if (!value(parsed.outputPath)) return false;
        } else if (argument == "--info") {
            parsed.infoOnly = true;
        } else if (argument == "-v" || argument == "--verbose") {
            parsed.verbose = true;
        } else if (argument == "-r" || argument == "--sample-rate") {
            if (!value(text)) return false;
            if (!parseDouble(text, parsed.sampleRate) || parsed.sampleRate < kMinSampleRate ||
                parsed.sampleRate > kMaxSampleRate || parsed.sampleRate != static_cast<int64_t>(parsed.sampleRate))
                return bad(text);
        } else if (argument == "-b" || argument == "--block-size") {
            int64_t frames = 0;
            if (!value(text)) return false;
            if (!parseInteger(text, frames) || frames < 1 || frames > kMaxBlockSize) return bad(text);
            parsed.blockSize = static_cast<int32_t>(frames);
        } else if (argument == "-d" || argument == "--duration") {
            if (!value(text)) return false;
            if (!parseTimeValue(text, parsed.duration)) return bad(text);
            parsed.durationGiven = true;
        } else if (argument == "--tail") {
            if (!value(text)) return false;
            if (!parseTimeValue(text, parsed.tail)) return bad(text);
        } else if (argument == "-m" || argument == "--midi") {
            if (!value(text)) return false;
            parsed.midiFiles.push_back(text);
        } else if (argument == "-e" || argument == "--events") {
            if (!value(text)) return false;
            parsed.eventFiles.push_back(text);
        } else if (argument == "--program") {
            int64_t program = 0;
            if (!value(text)) return false;
            if (!parseInteger(text, program) || program < 0 || program > INT32_MAX) return bad(text);
            parsed.setup.push_back({SetupStep::Kind::Program, parsed.programs.size()});
            parsed.programs.push_back(static_cast<int32_t>(program));
        } else if (argument == "--chunk") {
            if (!value(text)) return false;
            parsed.setup.push_back({SetupStep::Kind::Chunk, parsed.chunkFiles.size()});
            parsed.chunkFiles.push_back(text);
        } else if (argument == "--chunk-type") {
            if (!value(text)) return false;
            if (text == "bank")
                parsed.chunkType = RenderOptions::ChunkType::Bank;
            else if (text == "program")
                parsed.chunkType = RenderOptions::ChunkType::Program;
            else
                return bad(text);
        } else if (argument == "--force-chunk") {
            parsed.forceChunk = true;
        } else if (argument == "--param") {
            if (!value(text)) return false;
            size_t equals = text.find('=');
            int64_t index = 0;
            double number = 0.0;
            if (equals == std::string::npos || !parseInteger(text.substr(0, equals), index) || index < 0 ||
                index > INT32_MAX || !parseDouble(text.substr(equals + 1), number))
                return bad(text);
            parsed.setup.push_back({SetupStep::Kind::Parameter, parsed.parameters.size()});
            parsed.parameters.emplace_back(static_cast<int32_t>(index), static_cast<float>(number));
        } else if (argument == "--vendor-specific") {
            VendorCall call;
            if (!value(text)) return false;
            if (!parseVendorCall(text, call)) return bad(text);
            if (call.setUp) parsed.setup.push_back({SetupStep::Kind::VendorCall, parsed.vendorCalls.size()});
            parsed.vendorCalls.push_back(call);
        } else if (argument == "--save-chunk") {
            if (!value(parsed.saveChunkFile)) return false;
        } else if (argument == "--final-state") {
            if (!value(parsed.finalStateFile)) return false;
        } else if (argument == "--save-fxb") {
            if (!value(parsed.saveFxbFile)) return false;
        } else if (argument == "--tempo") {
            if (!value(text)) return false;
            if (!parseDouble(text, parsed.tempoBpm) || parsed.tempoBpm <= 0.0 || parsed.tempoBpm > 1000.0)
                return bad(text);
            parsed.tempoGiven = true;
        } else if (argument == "--time-sig") {
            if (!value(text)) return false;
            if (!parseTimeSignature(text, parsed.timeSigNumerator, parsed.timeSigDenominator)) return bad(text);
            parsed.timeSignatureGiven = true;
        } else if (argument == "--stopped") {
            parsed.startStopped = true;
        } else if (argument == "--play-at" || argument == "--stop-at") {
            if (!value(text)) return false;
            TimeValue check;
            if (!parseTimeValue(text, check)) return bad(text);
            parsed.transportChanges.push_back((argument == "--play-at" ? "play@" : "stop@") + text);
        } else if (argument == "--transport") {
            if (!value(text)) return false;
            for (const std::string& change : splitOn(text, ','))
                if (!change.empty()) parsed.transportChanges.push_back(change);
        } else if (argument == "--no-time-info") {
            parsed.noTimeInfo = true;
        } else if (argument == "--standalone-host") {
            parsed.standaloneHost = true;
        } else if (argument == "--pcm16") {
            parsed.sampleFormat = SampleFormat::Pcm16;
        } else if (argument == "--all-outputs") {
            parsed.allOutputs = true;
        } else if (argument == "--automation-log") {
            if (!value(parsed.automationLog)) return false;
        } else if (argument == "--realtime") {
            parsed.realtime = true;
        } else if (argument == "--show-editor") {
            if (!value(text)) return false;
            if (!parseDouble(text, parsed.showEditorSeconds) || parsed.showEditorSeconds <= 0.0 ||
                parsed.showEditorSeconds > 86400.0)
                return bad(text);
        } else if (argument == "--editor-order") {
            if (!value(text)) return false;
            if (text == "lmms")
                parsed.editorOrder = RenderOptions::EditorOrder::Lmms;
            else if (text == "ardour")
                parsed.editorOrder = RenderOptions::EditorOrder::Ardour;
            else
                return bad(text);
        } else if (argument == "--editor-cycles") {
            int64_t cycles = 0;
            if (!value(text)) return false;
            if (!parseInteger(text, cycles) || cycles < 1 || cycles > 100000) return bad(text);
            parsed.editorCycles = static_cast<int>(cycles);
        } else if (argument == "--editor-hide-after") {
            if (!value(text)) return false;
            if (!parseDouble(text, parsed.editorHideAfterSeconds) || parsed.editorHideAfterSeconds < 0.0)
                return bad(text);
        } else if (argument == "--editor-close-twice") {
            parsed.editorCloseTwice = true;
        } else if (argument == "--editor-destroy-parent-first") {
            parsed.editorDestroyParentFirst = true;
        } else if (argument == "--editor-info") {
            if (!value(parsed.editorInfoFile)) return false;
        } else if (argument == "--progress") {
            parsed.progress = RenderOptions::Progress::Always;
        } else if (argument == "--no-progress") {
            parsed.progress = RenderOptions::Progress::Never;
        } else if (!argument.empty() && argument[0] == '-' && argument != "-") {
            error = "unknown option " + argument;
            return false;
        } else if (parsed.pluginPath.empty()) {
            parsed.pluginPath = argument;
        } else {
            error = "more than one plug-in given ('" + parsed.pluginPath + "', '" + argument + "')";
            return false;
        }
    }
    if (parsed.pluginPath.empty()) {
        error = "no plug-in given";
        return false;
    }
    if (!parsed.infoOnly && parsed.outputPath.empty()) {
        error = "no output file given (-o FILE)";
        return false;
    }
    if (parsed.showEditorSeconds > 0.0) {
        // The editor is a live window: plug-in timers and idle run as they
        // would in a host, so the render keeps time with the clock.
        parsed.realtime = true;
        if (!parsed.durationGiven) {
            parsed.duration = TimeValue{TimeValue::Unit::Seconds, parsed.showEditorSeconds};
            parsed.durationGiven = true;
        }
    }
    // Transport changes are checked here, so that a typo fails before the
    // plug-in is loaded; the renderer converts them again with the tempo
    // that is finally in force.
    for (const std::string& change : parsed.transportChanges) {
        TransportChange checked;
        if (!parseTransportChange(change, parsed.sampleRate, parsed.tempoBpm, checked, error)) return false;
    }
    options = std::move(parsed);
    return true;
}
