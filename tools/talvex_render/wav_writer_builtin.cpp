#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/talvex_render/wav_writer.h"

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xfffe;
// The tail of the KSDATAFORMAT_SUBTYPE GUIDs; the first two bytes hold the
// plain format code.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
// RIFF sizes are 32-bit; stop short of the limit rather than wrap.
constexpr uint64_t kMaxDataBytes = 0xffffffffull - 1024;

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

class BuiltinWavWriter final : public AudioFileWriter {
public:
    BuiltinWavWriter(std::FILE* file, int channels, int sampleRate, SampleFormat format)
        : file_(file), channels_(channels), sampleRate_(sampleRate), format_(format) {
        ok_ = writeHeader();
    }
    ~BuiltinWavWriter() override {
        std::string ignored;
        close(ignored);
    }

    bool write(const float* const* channels, int32_t frames) override {
        if (file_ == nullptr || !ok_) return false;
        const size_t bytesPerSample = format_ == SampleFormat::Float32 ? 4 : 2;
        const uint64_t bytes = static_cast<uint64_t>(frames) * channels_ * bytesPerSample;
        if (dataBytes_ + bytes > kMaxDataBytes) {
            tooLong_ = true;
            ok_ = false;
            return false;
        }
        buffer_.resize(static_cast<size_t>(bytes));
        uint8_t* out = buffer_.data();
        for (int32_t i = 0; i < frames; ++i) {
            for (int c = 0; c < channels_; ++c) {
                if (format_ == SampleFormat::Float32) {
                    uint32_t bits;
                    std::memcpy(&bits, &channels[c][i], 4);
                    for (int b = 0; b < 4; ++b) *out++ = static_cast<uint8_t>(bits >> (8 * b));
                } else {
                    uint16_t bits = static_cast<uint16_t>(floatToPcm16(channels[c][i]));
                    *out++ = static_cast<uint8_t>(bits);
                    *out++ = static_cast<uint8_t>(bits >> 8);
                }
            }
        }
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
        dataBytes_ += bytes;
        frames_ += static_cast<uint64_t>(frames);
        return ok_;
    }

    bool close(std::string& error) override {
        if (file_ == nullptr) return ok_;
        if (ok_) ok_ = writeHeader();
        if (std::fclose(file_) != 0) ok_ = false;
        file_ = nullptr;
        if (!ok_) error = tooLong_ ? "the render exceeds the 4 GB limit of a WAV file" : "cannot write the WAV file";
        return ok_;
    }

private:
    // Written once with zero sizes and again, in place, on close.
    bool writeHeader() {
        const bool isFloat = format_ == SampleFormat::Float32;
        const uint16_t bits = isFloat ? 32 : 16;
        const uint16_t blockAlign = static_cast<uint16_t>(channels_ * bits / 8);
        const bool extensible = channels_ > 2;
        std::vector<uint8_t> h;
        h.reserve(128);  // the largest header, so it is never regrown
        putTag(h, "RIFF");
        put32(h, 0);  // patched below
        putTag(h, "WAVE");
        putTag(h, "fmt ");
        put32(h, extensible ? 40 : (isFloat ? 18 : 16));
        put16(h, extensible ? kFormatExtensible : (isFloat ? kFormatFloat : kFormatPcm));
        put16(h, static_cast<uint16_t>(channels_));
        put32(h, static_cast<uint32_t>(sampleRate_));
        put32(h, static_cast<uint32_t>(sampleRate_) * blockAlign);
        put16(h, blockAlign);
        put16(h, bits);
        if (extensible) {
            put16(h, 22);
            put16(h, bits);  // valid bits
            put32(h, 0);     // no speaker positions: the outputs are plain pins
            put16(h, isFloat ? kFormatFloat : kFormatPcm);
            h.insert(h.end(), kSubFormatTail, kSubFormatTail + sizeof(kSubFormatTail));
        } else if (isFloat) {
            put16(h, 0);
        }
        if (isFloat) {
            putTag(h, "fact");
            put32(h, 4);
            put32(h, static_cast<uint32_t>(frames_));
        }
        putTag(h, "data");
        put32(h, static_cast<uint32_t>(dataBytes_));
        const uint32_t riffSize = static_cast<uint32_t>(h.size() - 8 + dataBytes_ + (dataBytes_ & 1));
        for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));

        if (headerBytes_ != 0) {
            // A chunk of odd length is followed by a pad byte.
            if ((dataBytes_ & 1) != 0 && std::fputc(0, file_) == EOF) return false;
            if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
        }
        headerBytes_ = h.size();
        return std::fwrite(h.data(), 1, h.size(), file_) == h.size();
    }

    std::FILE* file_;
    int channels_;
    int sampleRate_;
    SampleFormat format_;
    bool ok_ = true;
    bool tooLong_ = false;
    size_t headerBytes_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t frames_ = 0;
    std::vector<uint8_t> buffer_;
};

}  // namespace

int16_t floatToPcm16(float value) {
    if (!(value > -1.0f)) value = -1.0f;  // also catches NaN
    if (value > 1.0f) value = 1.0f;
    return static_cast<int16_t>(std::lround(value * 32767.0f));
}

std::unique_ptr<AudioFileWriter> openBuiltinWavFile(const std::string& path, int channels, int sampleRate,
                                                    SampleFormat format, std::string& error) {
    if (channels < 1 || channels > 256 || sampleRate < 1) {
        error = "unsupported channel count or sample rate";
        return nullptr;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + path;
        return nullptr;
    }
    return std::make_unique<BuiltinWavWriter>(file, channels, sampleRate, format);
}
