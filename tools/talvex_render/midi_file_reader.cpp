#include "tools/talvex_render/midi_file_reader.h"

#include <algorithm>
#include <cstring>

namespace {

// A default of 120 quarter notes per minute applies until the first tempo
// event (the MIDI file convention).
constexpr uint32_t kDefaultMicrosPerQuarter = 500000;

class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t remaining() const { return size_ - position_; }
    size_t position() const { return position_; }
    bool atEnd() const { return position_ >= size_; }

    bool readByte(uint8_t& value) {
        if (position_ >= size_) return false;
        value = data_[position_++];
        return true;
    }
    bool peekByte(uint8_t& value) const {
        if (position_ >= size_) return false;
        value = data_[position_];
        return true;
    }
    bool readBigEndian(int bytes, uint32_t& value) {
        if (remaining() < static_cast<size_t>(bytes)) return false;
        value = 0;
        for (int i = 0; i < bytes; ++i) value = (value << 8) | data_[position_++];
        return true;
    }
    // Variable-length quantity: at most four bytes of seven bits each.
    bool readVariableLength(uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t byte = 0;
            if (!readByte(byte)) return false;
            value = (value << 7) | (byte & 0x7f);
            if ((byte & 0x80) == 0) return true;
        }
        return false;
    }
    const uint8_t* take(size_t count) {
        if (remaining() < count) return nullptr;
        const uint8_t* start = data_ + position_;
        position_ += count;
        return start;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

struct TempoChange {
    uint64_t tick;
    uint32_t microsPerQuarter;
};

int channelDataBytes(uint8_t status) {
    switch (status & 0xf0) {
        case 0xc0:
        case 0xd0:
            return 1;
        default:
            return 2;
    }
}

bool parseTrack(ByteCursor cursor, uint16_t track, MidiFile& file, std::vector<TempoChange>& tempos,
                uint64_t& endTick, std::string& error) {
    uint64_t tick = 0;
    uint8_t runningStatus = 0;
    const std::string where = "track " + std::to_string(track) + ": ";
    while (!cursor.atEnd()) {
        uint32_t delta = 0;
        if (!cursor.readVariableLength(delta)) {
            // A track cut short inside a delta time simply ends there.
            if (cursor.atEnd()) break;
            error = where + "variable-length number longer than four bytes";
            return false;
        }
        tick += delta;
        uint8_t status = 0;
        if (!cursor.peekByte(status)) break;
        if (status & 0x80) {
            cursor.readByte(status);
        } else {
            // Running status: the data bytes follow the previous status.
            if (runningStatus == 0) {
                error = where + "data byte without a status byte";
                return false;
            }
            status = runningStatus;
        }

        if (status < 0xf0) {
            runningStatus = status;
            MidiFileEvent event;
            event.tick = tick;
            event.track = track;
            event.bytes.push_back(status);
            int count = channelDataBytes(status);
            for (int i = 0; i < count; ++i) {
                uint8_t data = 0;
                if (!cursor.readByte(data)) {
                    file.truncated = true;
                    endTick = std::max(endTick, tick);
                    return true;
                }
                if (data & 0x80) {
                    error = where + "status byte where a data byte was expected";
                    return false;
                }
                event.bytes.push_back(data);
            }
            file.events.push_back(std::move(event));
            continue;
        }

        if (status == 0xf0 || status == 0xf7) {
            uint32_t length = 0;
            if (!cursor.readVariableLength(length)) {
                error = where + "bad system-exclusive length";
                return false;
            }
            const uint8_t* bytes = cursor.take(length);
            if (bytes == nullptr) {
                error = where + "system-exclusive dump runs past the end of the track";
                return false;
            }
            MidiFileEvent event;
            event.tick = tick;
            event.track = track;
            event.sysex = true;
            // F0 packets start a dump (the length excludes the F0); F7
            // packets carry arbitrary bytes as they are to be sent.
            const size_t lead = status == 0xf0 ? 1 : 0;
            event.bytes.resize(lead + length);
            if (lead != 0) event.bytes[0] = 0xf0;
            if (length > 0) std::memcpy(event.bytes.data() + lead, bytes, length);
            if (!event.bytes.empty()) file.events.push_back(std::move(event));
            continue;
        }

        if (status == 0xff) {
            uint8_t type = 0;
            uint32_t length = 0;
            if (!cursor.readByte(type) || !cursor.readVariableLength(length)) {
                error = where + "truncated meta event";
                return false;
            }
            const uint8_t* bytes = cursor.take(length);
            if (bytes == nullptr) {
                error = where + "meta event runs past the end of the track";
                return false;
            }
            if (type == 0x2f) {  // end of track
                endTick = std::max(endTick, tick);
                return true;
            }
            if (type == 0x51 && length == 3) {
                uint32_t micros = (uint32_t(bytes[0]) << 16) | (uint32_t(bytes[1]) << 8) | bytes[2];
                if (micros > 0) tempos.push_back(TempoChange{tick, micros});
            } else if (type == 0x58 && length >= 2 && !file.hasTimeSignature && tick == 0) {
                if (bytes[0] > 0 && bytes[1] <= 6) {
                    file.hasTimeSignature = true;
                    file.timeSigNumerator = bytes[0];
                    file.timeSigDenominator = 1 << bytes[1];
                }
            }
            continue;
        }

        error = where + "undefined status byte in a track";
        return false;
    }
    endTick = std::max(endTick, tick);
    return true;
}

}  // namespace

bool parseMidiFile(const uint8_t* data, size_t size, MidiFile& out, std::string& error) {
    out = MidiFile();
    ByteCursor cursor(data, size);
    const uint8_t* id = cursor.take(4);
    uint32_t headerLength = 0;
    if (id == nullptr || std::memcmp(id, "MThd", 4) != 0 || !cursor.readBigEndian(4, headerLength) ||
        headerLength < 6 || cursor.remaining() < headerLength) {
        error = "not a Standard MIDI File (no MThd header)";
        return false;
    }
    uint32_t format = 0, tracks = 0, division = 0;
    cursor.readBigEndian(2, format);
    cursor.readBigEndian(2, tracks);
    cursor.readBigEndian(2, division);
    cursor.take(headerLength - 6);
    if (format > 2) {
        error = "unknown MIDI file format " + std::to_string(format);
        return false;
    }
    out.format = static_cast<int>(format);
    out.declaredTracks = static_cast<int>(tracks);
    if (division & 0x8000) {
        // SMPTE time base: frames per second (negative, two's complement)
        // and ticks per frame; -29 stands for 29.97 drop-frame.
        int framesPerSecond = -static_cast<int8_t>(division >> 8);
        int ticksPerFrame = static_cast<int>(division & 0xff);
        if (framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 && framesPerSecond != 30) {
            error = "unknown SMPTE frame rate";
            return false;
        }
        if (ticksPerFrame == 0) {
            error = "zero ticks per frame";
            return false;
        }
        double fps = framesPerSecond == 29 ? 30000.0 / 1001.0 : framesPerSecond;
        out.smpteTicksPerSecond = fps * ticksPerFrame;
    } else {
        if (division == 0) {
            error = "zero ticks per quarter note";
            return false;
        }
        out.ticksPerQuarter = static_cast<int>(division);
    }

    std::vector<TempoChange> tempos;
    uint64_t endTick = 0;
    while (cursor.remaining() >= 8) {
        const uint8_t* chunkId = cursor.take(4);
        uint32_t length = 0;
        cursor.readBigEndian(4, length);
        size_t available = std::min<size_t>(length, cursor.remaining());
        if (available < length) out.truncated = true;
        const uint8_t* body = cursor.take(available);
        if (std::memcmp(chunkId, "MTrk", 4) != 0) continue;  // unknown chunks are skipped
        if (out.tracksRead >= 65535) break;
        uint16_t track = static_cast<uint16_t>(out.tracksRead++);
        if (!parseTrack(ByteCursor(body, available), track, out, tempos, endTick, error)) return false;
    }
    if (out.tracksRead == 0) {
        error = "the file holds no track";
        return false;
    }

    // Tracks were appended one after another; a stable sort by tick merges
    // them with ties in track order, then file order.
    std::stable_sort(out.events.begin(), out.events.end(),
                     [](const MidiFileEvent& a, const MidiFileEvent& b) { return a.tick < b.tick; });
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });

    auto secondsAt = [&](uint64_t tick, size_t& tempoIndex, uint64_t& segmentTick, double& segmentSeconds,
                         uint32_t& micros) {
        if (out.ticksPerQuarter == 0) return static_cast<double>(tick) / out.smpteTicksPerSecond;
        while (tempoIndex < tempos.size() && tempos[tempoIndex].tick <= tick) {
            segmentSeconds += static_cast<double>(tempos[tempoIndex].tick - segmentTick) * micros /
                              (1e6 * out.ticksPerQuarter);
            segmentTick = tempos[tempoIndex].tick;
            micros = tempos[tempoIndex].microsPerQuarter;
            ++tempoIndex;
        }
        return segmentSeconds + static_cast<double>(tick - segmentTick) * micros / (1e6 * out.ticksPerQuarter);
    };

    size_t tempoIndex = 0;
    uint64_t segmentTick = 0;
    double segmentSeconds = 0.0;
    uint32_t micros = kDefaultMicrosPerQuarter;
    for (MidiFileEvent& event : out.events)
        event.seconds = secondsAt(event.tick, tempoIndex, segmentTick, segmentSeconds, micros);
    out.endSeconds = secondsAt(endTick, tempoIndex, segmentTick, segmentSeconds, micros);

    if (!tempos.empty() && tempos.front().tick == 0) {
        out.hasTempo = true;
        uint32_t first = tempos.front().microsPerQuarter;
        // Several tempo events at tick 0: the last one is in force.
        for (const TempoChange& change : tempos)
            if (change.tick == 0) first = change.microsPerQuarter;
        out.initialTempoBpm = 60e6 / first;
    }
    return true;
}
