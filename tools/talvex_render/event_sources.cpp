#include "tools/talvex_render/event_sources.h"

#include <algorithm>
#include <cmath>

#include "tools/talvex_render/file_bytes.h"
#include "tools/talvex_render/midi_file_reader.h"
#include "tools/talvex_render/text_event_reader.h"

namespace {

int64_t secondsToFrames(double seconds, double sampleRate) {
    return static_cast<int64_t>(std::floor(seconds * sampleRate + 0.5));
}

}  // namespace

bool loadMidiTempo(const RenderOptions& options, EventTimeline& out, std::string& error) {
    if (options.midiFiles.empty()) return true;
    std::vector<uint8_t> bytes;
    if (!readFileBytes(options.midiFiles.front(), bytes, error)) return false;
    MidiFile file;
    if (!parseMidiFile(bytes.data(), bytes.size(), file, error)) {
        error = options.midiFiles.front() + ": " + error;
        return false;
    }
    out.midiTempoKnown = file.hasTempo;
    out.midiTempoBpm = file.initialTempoBpm;
    out.midiTimeSignatureKnown = file.hasTimeSignature;
    out.midiTimeSigNumerator = file.timeSigNumerator;
    out.midiTimeSigDenominator = file.timeSigDenominator;
    return true;
}

bool loadEventTimeline(const RenderOptions& options, double tempoBpm, EventTimeline& out, std::string& error) {
    for (const std::string& path : options.midiFiles) {
        std::vector<uint8_t> bytes;
        if (!readFileBytes(path, bytes, error)) return false;
        MidiFile file;
        if (!parseMidiFile(bytes.data(), bytes.size(), file, error)) {
            error = path + ": " + error;
            return false;
        }
        for (const MidiFileEvent& source : file.events) {
            TimedEvent event;
            event.frame = secondsToFrames(source.seconds, options.sampleRate);
            event.kind = source.sysex ? TimedEvent::Kind::Sysex : TimedEvent::Kind::Midi;
            event.bytes = source.bytes;
            out.events.push_back(std::move(event));
        }
        out.endFrame = std::max(out.endFrame, secondsToFrames(file.endSeconds, options.sampleRate));
        if (!out.events.empty()) out.endFrame = std::max(out.endFrame, out.events.back().frame + 1);
        out.hasInput = true;
    }
    for (const std::string& path : options.eventFiles) {
        std::vector<uint8_t> bytes;
        if (!readFileBytes(path, bytes, error)) return false;
        EventList list;
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (!parseEventList(text, options.sampleRate, tempoBpm, list, error)) {
            error = path + ": " + error;
            return false;
        }
        out.endFrame = std::max(out.endFrame, list.endFrame);
        for (TimedEvent& event : list.events) out.events.push_back(std::move(event));
        out.hasInput = true;
    }
    sortByFrame(out.events);
    return true;
}
