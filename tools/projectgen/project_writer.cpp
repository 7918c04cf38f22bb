#include "tools/projectgen/project_writer.h"

#include <algorithm>
#include <cmath>

#include "tools/projectgen/project_text.h"

namespace projectgen {

namespace {

const char* const kArpeggiatorKeys[10] = {"ARPEG_ON",      "ARPEG_MODE",     "ARPEG_HOLE",     "ARPEG_EXT",
                                          "ARPEG_EXTMODE", "ARPEG_VELOCITY", "ARPEG_INTERVAL", "ARPEG_GATETIME",
                                          "ARPEG_TEMPO",   "ARPEG_SWING"};

// The file stores 10 · 1.07656729^x for the normalised band frequency x,
// which maps to 20 · 800^x Hz.
double eqFileValue(double hz) {
    const double x = std::clamp(std::log(hz / 20.0) / std::log(800.0), 0.0, 1.0);
    return 10.0 * std::pow(1.07656729, x);
}

void presetBlock(ProjectText& text, const std::string& key, const SlotSpec& slot) {
    text.line(key, {"START"});
    const std::vector<uint8_t> image = slot.module->bankImage();
    text.line("PRESET_SIZE", {paddedCount(image.size())});
    text.raw(image);
    text.line("PRESET_INDEX", {integer(slot.programIndex)});
    text.line("PRESET", {"END"});
}

void emptyEventsBlock(ProjectText& text, const std::string& key) {
    text.line(key, {"START"});
    text.line("PARAM_EVENTS", {"END"});
}

void targetLine(ProjectText& text, const BallTarget& target, bool vertical) {
    static const char* const kHorizontal[4] = {"PRESET_SOUND_PARAM_HORZ", "PRESET_SOUND_MIX_PARAM_HORZ",
                                               "PRESET_SOUND_INSERT1_PARAM_HORZ", "PRESET_SOUND_INSERT2_PARAM_HORZ"};
    static const char* const kVertical[4] = {"PRESET_SOUND_PARAM_VERT", "PRESET_SOUND_MIX_PARAM_VERT",
                                             "PRESET_SOUND_INSERT1_PARAM_VERT", "PRESET_SOUND_INSERT2_PARAM_VERT"};
    const int kind = std::clamp(target.kind, 0, 3);
    text.line(vertical ? kVertical[kind] : kHorizontal[kind],
              {integer(target.kind), integer(target.index), trackReal(target.minimum), trackReal(target.maximum),
               trackReal(0.0)});
}

void trackSection(ProjectText& text, const TrackSpec& track) {
    text.line("VERSION", {"1.66"});
    text.line("PLUGIN", {track.instrument.path});
    text.line("TITLE", {track.title});
    text.line("MIDIINCHANNEL", {integer(track.midiChannel)});
    text.line("MIDIKEYFROM", {integer(track.keyFrom)});
    text.line("MIDIKEYTO", {integer(track.keyTo)});
    text.line("MIDIKEYTRANSPOSE", {integer(0)});
    for (const char* key : {"MIDIPITCH", "MIDIMODWHEEL", "MIDIAFTERTOUCH", "MIDIPROGRAMCHANGE"})
        text.line(key, {integer(1)});
    text.line("KEYBOARDON", {trackReal(track.keyboardOn)});
    text.line("KEYBOARDGATED", {trackReal(track.keyboardGated)});
    text.line("STEPNUMBER", {integer(256)});
    text.line("LEVEL", {trackReal(track.level)});
    text.line("PAN", {trackReal(track.pan)});
    text.line("MUTE", {trackReal(0)});
    text.line("CROSSFADEA", {trackReal(track.crossfadeA)});
    text.line("CROSSFADEB", {trackReal(track.crossfadeB)});
    text.line("SYNCHRO_INST", {trackReal(0)});
    text.line("KEY_TRANSPOSE", {trackReal(255)});
    for (int i = 0; i < 10; ++i) text.line(kArpeggiatorKeys[i], {trackReal(track.arpeggiator[static_cast<size_t>(i)])});
    text.line("PATTERNSELECTED", {integer(track.patternSelected)});
    for (int k = 0; k < 4; ++k) {
        text.line("EFFECT" + std::to_string(k + 1) + "_ON", {trackReal(track.sendOn[static_cast<size_t>(k)])});
        text.line("EFFECT" + std::to_string(k + 1) + "_LEVEL", {trackReal(track.sendLevel[static_cast<size_t>(k)])});
    }
    text.line("EQ_ON", {trackReal(track.eqOn)});
    for (int b = 0; b < 3; ++b) {
        const std::string n = std::to_string(b + 1);
        text.line("EQ" + n + "_FREQ", {trackReal(eqFileValue(track.eqFrequencyHz[static_cast<size_t>(b)]))});
        text.line("EQ" + n + "_RES", {trackReal(track.eqResonance[static_cast<size_t>(b)])});
        text.line("EQ" + n + "_GAIN", {trackReal(track.eqGain[static_cast<size_t>(b)])});
    }
    presetBlock(text, "PLUGIN_PRESET", track.instrument);
    emptyEventsBlock(text, "PLUGIN_PARAM_EVENTS");
    for (int i = 0; i < 2; ++i) {
        const SlotSpec& insert = track.inserts[i];
        if (!insert.used()) continue;
        const std::string n = std::to_string(i + 1);
        text.line("INSERT" + n + "_PLUGIN", {insert.path});
        text.line("INSERT" + n + "_ON", {trackReal(insert.on)});
        presetBlock(text, "INSERT_PRESET_" + n, insert);
        emptyEventsBlock(text, "INSERT_PARAM_EVENTS_" + n);
    }
    for (const BallSpec& ball : track.balls) {
        text.line("PRESET_SOUND_BALL", {trackReal(ball.x), trackReal(128.0 - ball.y), integer(ball.randomRate)});
        text.line("PRESET_SOUND_MIDI", {integer(ball.midiChannel), integer(ball.xController), integer(ball.yController)});
        text.line("PRESET_SOUND_PARAMETERNAME", {ball.name});
        text.line("PRESET_SOUND_BALLSIZE", {integer(24)});
        text.line("PRESET_SOUND_FLY", {trackReal(ball.flyOn), trackReal(ball.flySpeed), trackReal(ball.flyDirection)});
        for (const BallTarget& t : ball.horizontal) targetLine(text, t, false);
        for (const BallTarget& t : ball.vertical) targetLine(text, t, true);
    }
    text.line("PATTERNS", {"START"});
    text.line("STEPNUMBER_MODE", {integer(256), integer(track.stepMode), trackReal(track.swing)});
    char product[256] = {};
    track.instrument.module->productName(product);
    text.line("PLUGIN_NAME", {product});
    for (const PatternSpec& p : track.patterns) {
        std::vector<std::string> fields = {integer(p.number), trackReal(p.lengthSteps), integer(p.chain)};
        for (const PatternNoteSpec& n : p.notes) {
            fields.push_back(trackReal(n.position));
            fields.push_back(integer(n.key));
            fields.push_back(trackReal(n.length));
            fields.push_back(integer(n.velocity));
        }
        text.line("PATTERN_NOTES", fields);
    }
    text.line("PATTERNS", {"END"});
    text.line("PLUGIN", {"END"});
}

}  // namespace

std::vector<uint8_t> writeProject(const ProjectSpec& project) {
    ProjectText text;
    text.line("VERSION", {"1.66"});
    text.line("TEMPO", {masterReal(project.tempo)});
    text.line("MASTER_LEVEL", {masterReal(project.masterLevel)});
    text.line("PLAYLIST_STEP_NUMBER", {integer(256)});
    text.line("SONG_MODE", {integer(0)});
    text.line("SYNCHRO_ON", {masterReal(0)});
    text.line("MASTER_TRANSPOSE", {masterReal(0)});
    text.line("LOOP_ON", {integer(0)});
    text.line("LOOP_START", {integer(0)});
    text.line("LOOP_END", {integer(16)});
    text.line("CROSSFADE", {masterReal(project.crossfade)});
    text.line("PRESET_SELECTED", {masterReal(-1)});
    text.line("PRESET_MIDI", {integer(0), integer(0), integer(1)});
    for (int i = 0; i < 2; ++i) {
        const SlotSpec& insert = project.masterInserts[i];
        if (!insert.used()) continue;
        const std::string n = std::to_string(i + 1);
        text.line("MASTER_INSERT" + n + "_PLUGIN", {insert.path});
        text.line("MASTER_INSERT" + n + "_ON", {masterReal(insert.on)});
        presetBlock(text, "MASTER_INSERT_PRESET_" + n, insert);
        emptyEventsBlock(text, "MASTER_INSERT_PARAM_EVENTS_" + n);
    }
    for (const TrackSpec& track : project.tracks) trackSection(text, track);
    for (int i = 0; i < 4; ++i) {
        const SlotSpec& send = project.sends[i];
        if (!send.used()) continue;
        const std::string n = std::to_string(i + 1);
        text.line("EFFECT_" + n, {send.path});
        presetBlock(text, "EFFECT_PRESET_" + n, send);
        emptyEventsBlock(text, "EFFECT_PARAM_EVENTS_" + n);
    }
    const double framesPerStep = 60.0 / project.tempo * 0.25 * kDemoSampleRate;
    text.line("PROGRAM_DEMO_BEGIN", {integer(0), integer(0)});
    std::vector<DemoEvent> events = project.demo;
    std::stable_sort(events.begin(), events.end(), [](const DemoEvent& a, const DemoEvent& b) { return a.step < b.step; });
    for (const DemoEvent& e : events)
        text.line(integer(std::lround(e.step * framesPerStep)),
                  {integer(e.status), integer(e.data1), integer(e.data2), integer(0)});
    text.line("PROGRAM_DEMO_END", {integer(0), integer(0)});
    return text.bytes();
}

}  // namespace projectgen
