#include "host/program_chunk.h"

#include <cmath>
#include <cstring>

#include "common/tempo_range.h"

namespace {

constexpr int kTextFieldBytes = 32;
constexpr int kReservedBytes = 40;

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
    // resize and memcpy rather than a range insert, which GCC 12 at -O3
    // misreads as an over-read of the vector's first allocation.
    void bytes(const void* data, size_t n) {
        if (n == 0) return;
        const size_t at = out_.size();
        out_.resize(at + n);
        std::memcpy(out_.data() + at, data, n);
    }
    void zeros(size_t n) { out_.resize(out_.size() + n, 0); }
    void text(const char* s, size_t field) {
        const size_t n = strnlen(s, field);
        bytes(s, n);
        zeros(field - n);
    }
    void f32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        i32le(u);
    }
    void i32le(uint32_t u) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }

private:
    std::vector<uint8_t>& out_;
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool has(size_t n) const { return size_ - pos_ >= n; }
    bool bytes(void* out, size_t n) {
        if (!has(n)) return false;
        std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    bool skip(size_t n) {
        if (!has(n)) return false;
        pos_ += n;
        return true;
    }
    bool f32(float& v) {
        uint8_t b[4];
        if (!bytes(b, 4)) return false;
        const uint32_t u = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
        std::memcpy(&v, &u, 4);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

void writeBlock(Writer& w, const ProgramRecord& r, bool withName) {
    w.bytes(r.projectName, kProjectNameBytes);
    if (withName) w.bytes(r.programName, kProgramNameBytes);
    w.f32(r.playSwitch);
    w.f32(r.tempo);
    w.f32(r.muteKeySwitch);
    w.f32(r.muteKey);
    w.f32(r.liveTransposition);
    w.f32(r.playController);
    w.zeros(kReservedBytes);
    for (int t = 0; t < kProgramTracks; ++t) {
        w.f32(relaxedLoad(r.trackLevel[t]));
        w.f32(relaxedLoad(r.trackPan[t]));
        const ProgramPattern* p = r.editPatterns[t].get();
        const size_t n = p != nullptr ? p->notes.size() : 0;
        w.f32(static_cast<float>(n));
        if (n == 0) continue;
        w.f32(p->lengthSteps);
        for (const ProgramNote& note : p->notes) {
            w.f32(note.position);
            w.f32(note.length);
            w.f32(static_cast<float>(note.key));
            w.f32(static_cast<float>(note.velocity));
        }
    }
    for (const auto& satellite : r.satellites)
        for (const float& v : satellite) w.f32(relaxedLoad(v));
}

float repairRange(float v, float low, float high, float fallback) {
    if (!std::isfinite(v)) return fallback;
    return v < low ? low : (v > high ? high : v);
}

// A stored value out of its range is repaired field by field: refusing the
// whole chunk would lose the host's session for one bad float, and keeping
// it would hand the engine a NaN or a step length of zero.
void repairPerformanceValues(ProgramRecord& r) {
    r.tempo = repairTempo(r.tempo);
    r.playSwitch = repairRange(r.playSwitch, 0.0f, 1.0f, 1.0f);
    r.muteKeySwitch = repairRange(r.muteKeySwitch, 0.0f, 1.0f, 0.0f);
    r.muteKey = repairRange(r.muteKey, 0.0f, 127.0f, 48.0f);
    r.liveTransposition = repairRange(r.liveTransposition, -127.0f, 127.0f, 0.0f);
    r.playController = repairRange(r.playController, 0.0f, 127.0f, 0.0f);
    for (int t = 0; t < kProgramTracks; ++t) {
        r.trackLevel[t] = repairRange(r.trackLevel[t], 0.0f, 127.0f, 64.0f);
        r.trackPan[t] = repairRange(r.trackPan[t], -1.0f, 1.0f, 0.0f);
    }
}

bool readBlock(Reader& rd, ProgramRecord& r, bool withName) {
    if (!rd.bytes(r.projectName, kProjectNameBytes)) return false;
    if (withName && !rd.bytes(r.programName, kProgramNameBytes)) return false;
    if (!rd.f32(r.playSwitch) || !rd.f32(r.tempo) || !rd.f32(r.muteKeySwitch) || !rd.f32(r.muteKey) ||
        !rd.f32(r.liveTransposition) || !rd.f32(r.playController))
        return false;
    if (!rd.skip(kReservedBytes)) return false;
    for (int t = 0; t < kProgramTracks; ++t) {
        float count = 0.0f;
        if (!rd.f32(r.trackLevel[t]) || !rd.f32(r.trackPan[t]) || !rd.f32(count)) return false;
        // The note count is checked against what is left before anything of
        // the pattern is read.
        if (!(count >= 0.0f) || count > static_cast<float>(kMaxChunkPatternNotes) || count != std::floor(count))
            return false;
        const size_t n = static_cast<size_t>(count);
        r.editPatterns[t].reset();
        if (n == 0) continue;
        if (!rd.has(4 + 16 * n)) return false;
        auto pattern = std::make_unique<ProgramPattern>();
        rd.f32(pattern->lengthSteps);
        pattern->notes.resize(n);
        for (ProgramNote& note : pattern->notes) {
            float key = 0, velocity = 0;
            rd.f32(note.position);
            rd.f32(note.length);
            rd.f32(key);
            rd.f32(velocity);
            if (!std::isfinite(key) || !std::isfinite(velocity) || std::fabs(key) > 1e6f || std::fabs(velocity) > 1e6f)
                return false;
            note.key = static_cast<int>(key);
            note.velocity = static_cast<int>(velocity);
        }
        r.editPatterns[t] = std::move(pattern);
    }
    for (auto& satellite : r.satellites)
        for (float& v : satellite)
            if (!rd.f32(v)) return false;
    repairPerformanceValues(r);
    return true;
}

}  // namespace

std::vector<uint8_t> buildProgramChunk(const ProgramRecord* records, int count, bool isPreset) {
    std::vector<uint8_t> out;
    // The header and the fixed part of every block, so that the buffer is
    // not regrown for each field (patterns add to it as they come).
    out.reserve(static_cast<size_t>(kChunkHeaderBytes) + static_cast<size_t>(count > 0 ? count : 0) * 1464);
    Writer w(out);
    w.i32le(0);  // size, filled in below
    w.text(kChunkProductKey, kTextFieldBytes);
    w.text(kChunkFormatVersion, kTextFieldBytes);
    for (int i = 0; i < count; ++i) writeBlock(w, records[i], !isPreset);
    const uint32_t size = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
    return out;
}

bool parseProgramChunk(const uint8_t* data, size_t size, bool isPreset, std::vector<ProgramRecord>& records,
                       int count) {
    if (data == nullptr || size < static_cast<size_t>(kChunkHeaderBytes)) return false;
    const uint32_t declared = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                              (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
    if (declared != size) return false;
    char key[kTextFieldBytes + 1] = {}, version[kTextFieldBytes + 1] = {};
    std::memcpy(key, data + 4, kTextFieldBytes);
    std::memcpy(version, data + 36, kTextFieldBytes);
    if (std::strcmp(key, kChunkProductKey) != 0 || std::strcmp(version, kChunkFormatVersion) != 0) return false;
    Reader rd(data + kChunkHeaderBytes, size - kChunkHeaderBytes);
    std::vector<ProgramRecord> parsed(static_cast<size_t>(count));
    for (ProgramRecord& r : parsed)
        if (!readBlock(rd, r, !isPreset)) return false;
    records.swap(parsed);
    return true;
}
