#include "tools/talvex_render/text_event_reader.h"

#include <algorithm>
#include <cctype>

#include "tools/talvex_render/time_value.h"

namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool parseRanged(std::string_view text, int64_t low, int64_t high, int& out) {
    int64_t value = 0;
    if (!parseInteger(text, value) || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

bool parseHexByte(std::string_view text, uint8_t& out) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty() || text.size() > 2) return false;
    unsigned value = 0;
    for (char c : text) {
        int digit = std::isdigit(static_cast<unsigned char>(c))   ? c - '0'
                    : (c >= 'a' && c <= 'f')                      ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F')                      ? c - 'A' + 10
                                                                  : -1;
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    out = static_cast<uint8_t>(value);
    return true;
}

struct ChannelMessageForm {
    const char* name;
    uint8_t status;
    int dataFields;  // fields after the channel
    int optionalFields;
};

// pitch_bend takes one 14-bit field, split into two data bytes below.
constexpr ChannelMessageForm kForms[] = {
    {"note_on", 0x90, 2, 0},       {"note_off", 0x80, 1, 1},      {"cc", 0xb0, 2, 0},
    {"program", 0xc0, 1, 0},       {"pitch_bend", 0xe0, 1, 0},    {"pressure", 0xd0, 1, 0},
    {"poly_pressure", 0xa0, 2, 0},
};

// The velocity of a note-off that does not give one: the value MIDI
// recommends for keyboards without release velocity.
constexpr int kDefaultReleaseVelocity = 64;

bool parseLine(const std::vector<std::string_view>& fields, double sampleRate, double tempoBpm, EventList& list,
               std::string& why) {
    TimeValue time;
    if (!parseTimeValue(fields[0], time)) {
        why = "bad time '" + std::string(fields[0]) + "'";
        return false;
    }
    if (fields.size() < 2) {
        why = "an event name must follow the time";
        return false;
    }
    const int64_t frame = timeValueToFrames(time, sampleRate, tempoBpm);
    const std::string_view kind = fields[1];
    const size_t argumentCount = fields.size() - 2;
    TimedEvent event;
    event.frame = frame;

    if (kind == "end") {
        if (argumentCount != 0) {
            why = "'end' takes no arguments";
            return false;
        }
        list.endFrame = std::max(list.endFrame, frame);
        return true;
    }
    if (kind == "param") {
        double value = 0.0;
        int index = 0;
        if (argumentCount != 2 || !parseRanged(fields[2], 0, INT32_MAX, index) || !parseDouble(fields[3], value)) {
            why = "expected 'param <index> <value>'";
            return false;
        }
        event.kind = TimedEvent::Kind::Parameter;
        event.parameterIndex = index;
        event.parameterValue = static_cast<float>(value);
    } else if (kind == "raw") {
        if (argumentCount == 0) {
            why = "'raw' needs at least one byte";
            return false;
        }
        for (size_t i = 2; i < fields.size(); ++i) {
            uint8_t byte = 0;
            if (!parseHexByte(fields[i], byte)) {
                why = "bad hex byte '" + std::string(fields[i]) + "'";
                return false;
            }
            event.bytes.push_back(byte);
        }
        if (event.bytes.front() == 0xf0) {
            if (event.bytes.back() != 0xf7) {
                why = "a system-exclusive dump must end with F7";
                return false;
            }
            event.kind = TimedEvent::Kind::Sysex;
        } else if ((event.bytes.front() & 0x80) == 0 || event.bytes.size() > 3) {
            why = "a raw message is a status byte and at most two data bytes";
            return false;
        }
    } else {
        const ChannelMessageForm* form = nullptr;
        for (const ChannelMessageForm& candidate : kForms)
            if (kind == candidate.name) form = &candidate;
        if (form == nullptr) {
            why = "unknown event '" + std::string(kind) + "'";
            return false;
        }
        const size_t minimum = 1 + static_cast<size_t>(form->dataFields);
        if (argumentCount < minimum || argumentCount > minimum + static_cast<size_t>(form->optionalFields)) {
            why = "wrong number of arguments for '" + std::string(kind) + "'";
            return false;
        }
        int channel = 0;
        if (!parseRanged(fields[2], 0, 15, channel)) {
            why = "channel must be 0 to 15";
            return false;
        }
        event.bytes.push_back(static_cast<uint8_t>(form->status | channel));
        if (form->status == 0xe0) {
            int bend = 0;
            if (!parseRanged(fields[3], 0, 16383, bend)) {
                why = "pitch bend must be 0 to 16383";
                return false;
            }
            event.bytes.push_back(static_cast<uint8_t>(bend & 0x7f));
            event.bytes.push_back(static_cast<uint8_t>(bend >> 7));
        } else {
            for (size_t i = 3; i < fields.size(); ++i) {
                int value = 0;
                if (!parseRanged(fields[i], 0, 127, value)) {
                    why = "data values must be 0 to 127";
                    return false;
                }
                event.bytes.push_back(static_cast<uint8_t>(value));
            }
            if (form->status == 0x80 && argumentCount == minimum)
                event.bytes.push_back(static_cast<uint8_t>(kDefaultReleaseVelocity));
        }
    }
    list.endFrame = std::max(list.endFrame, frame + 1);
    list.events.push_back(std::move(event));
    return true;
}

}  // namespace

bool parseEventList(std::string_view text, double sampleRate, double tempoBpm, EventList& out,
                    std::string& error) {
    EventList list;
    int lineNumber = 0;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        size_t hash = line.find('#');
        if (hash != std::string_view::npos) line = line.substr(0, hash);
        std::vector<std::string_view> fields = splitFields(line);
        if (fields.empty()) continue;
        std::string why;
        if (!parseLine(fields, sampleRate, tempoBpm, list, why)) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
    }
    out = std::move(list);
    return true;
}
