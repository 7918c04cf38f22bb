#include "modules/sample_reader_common.h"

namespace sample_reader {

bool findChunk(const uint8_t* bytes, size_t size, size_t start, const char* tag, ByteOrder order, ChunkRef& out) {
    if (bytes == nullptr) return false;
    size_t pos = start;
    while (pos <= size && size - pos >= 8) {
        const uint8_t* header = bytes + pos;
        uint32_t chunkSize = order == ByteOrder::Little ? readLe32(header + 4) : readBe32(header + 4);
        size_t bodyOffset = pos + 8;
        if (tagIs(header, tag)) {
            out.bodyOffset = bodyOffset;
            out.declaredSize = chunkSize;
            return true;
        }
        size_t rest = size - bodyOffset;
        if (chunkSize > rest) return false;
        size_t padded = static_cast<size_t>(chunkSize) + (chunkSize & 1u);
        // A missing pad byte after the last chunk is common; there is then
        // nothing more to find.
        if (padded > rest) return false;
        pos = bodyOffset + padded;
    }
    return false;
}

int bytesPerValue(SampleEncoding encoding) {
    switch (encoding) {
        case SampleEncoding::Int16Le:
        case SampleEncoding::Int16Be:
            return 2;
        case SampleEncoding::Int24Le:
        case SampleEncoding::Int24Be:
            return 3;
        case SampleEncoding::Int32Le:
        case SampleEncoding::Float32Le:
            return 4;
    }
    return 2;
}

int16_t floatToSample16(float value) {
    if (!(value == value)) return 0;
    float scaled = value * 32767.0f + 0.5f;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    return static_cast<int16_t>(scaled);
}

namespace {

// The upper 16 bits of one integer value.
int16_t upper16(const uint8_t* p, SampleEncoding encoding) {
    uint16_t bits = 0;
    switch (encoding) {
        case SampleEncoding::Int16Le: bits = readLe16(p); break;
        case SampleEncoding::Int24Le: bits = readLe16(p + 1); break;
        case SampleEncoding::Int32Le: bits = readLe16(p + 2); break;
        case SampleEncoding::Int16Be: bits = readBe16(p); break;
        case SampleEncoding::Int24Be: bits = readBe16(p); break;
        case SampleEncoding::Float32Le: break;
    }
    return static_cast<int16_t>(bits);
}

float readFloat32Le(const uint8_t* p) {
    uint32_t bits = readLe32(p);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

}  // namespace

void convertSampleData(const uint8_t* data, uint32_t frames, int channels, SampleEncoding encoding,
                       SampleChannels layout, DecodedSample& out) {
    const size_t step = static_cast<size_t>(bytesPerValue(encoding));
    const bool stereoIn = channels == 2;
    const bool stereoOut = stereoIn && layout == SampleChannels::AsStored;
    const bool isFloat = encoding == SampleEncoding::Float32Le;

    out.samples.assign(static_cast<size_t>(frames) * (stereoOut ? 2u : 1u), 0);
    out.frameCount = frames;
    out.stereo = stereoOut;

    int16_t* dst = out.samples.data();
    const uint8_t* src = data;
    for (uint32_t f = 0; f < frames; ++f) {
        if (!stereoIn) {
            *dst++ = isFloat ? floatToSample16(readFloat32Le(src)) : upper16(src, encoding);
            src += step;
        } else if (stereoOut) {
            *dst++ = isFloat ? floatToSample16(readFloat32Le(src)) : upper16(src, encoding);
            *dst++ = isFloat ? floatToSample16(readFloat32Le(src + step)) : upper16(src + step, encoding);
            src += 2 * step;
        } else if (isFloat) {
            *dst++ = floatToSample16(readFloat32Le(src) + readFloat32Le(src + step));
            src += 2 * step;
        } else {
            int sum = upper16(src, encoding) + upper16(src + step, encoding);
            *dst++ = static_cast<int16_t>(sum / 2);
            src += 2 * step;
        }
    }
}

}  // namespace sample_reader
