#include "modules/sample_reader_aiff.h"

#include <cmath>
#include <limits>

#include "modules/sample_reader_common.h"

using namespace sample_reader;

namespace {

// COMM body: channels (2 bytes), frame count (4), sample size (2), rate (10).
constexpr uint32_t kCommSize = 18;
constexpr size_t kCommRateOffset = 8;
// SSND body: offset (4), block size (4), then the sound data.
constexpr uint32_t kSsndHeaderSize = 8;

constexpr int kExtendedExponentBias = 16383;
constexpr int kExtendedMantissaBits = 63;  // below the explicit integer bit

}  // namespace

double aiffExtendedToDouble(const uint8_t* tenBytes) {
    const bool negative = (tenBytes[0] & 0x80) != 0;
    const int exponent = ((tenBytes[0] & 0x7F) << 8) | tenBytes[1];
    const uint64_t mantissa = readBe64(tenBytes + 2);
    double value;
    if (exponent == 0x7FFF) {
        value = std::numeric_limits<double>::infinity();
    } else if (exponent == 0 && mantissa == 0) {
        value = 0.0;
    } else {
        value = std::ldexp(static_cast<double>(mantissa), exponent - kExtendedExponentBias - kExtendedMantissaBits);
    }
    return negative ? -value : value;
}

bool readAiffSample(const uint8_t* bytes, size_t size, const SampleReadOptions& options, DecodedSample& out) {
    out.clear();
    if (bytes == nullptr || size < 12) return false;
    if (!tagIs(bytes, "FORM") || !tagIs(bytes + 8, "AIFF")) return false;
    // The form size must be set and must not look like a negative 32-bit
    // value (some writers leave garbage there when they crash).
    if (readBe32(bytes + 4) == 0 || bytes[4] >= 128) return false;

    ChunkRef comm;
    if (!findChunk(bytes, size, 12, "COMM", ByteOrder::Big, comm)) return false;
    if (comm.declaredSize < kCommSize || comm.availableSize(size) < kCommSize) return false;
    const uint8_t* body = bytes + comm.bodyOffset;
    const int channels = readBe16(body);
    const int sampleBits = readBe16(body + 6);
    const double rateHz = aiffExtendedToDouble(body + kCommRateOffset);
    if (channels != 1 && channels != 2) return false;
    SampleEncoding encoding;
    if (sampleBits == 16) {
        encoding = SampleEncoding::Int16Be;
    } else if (sampleBits == 24) {
        encoding = SampleEncoding::Int24Be;
    } else {
        return false;
    }
    if (!plausibleSampleRate(rateHz)) return false;

    ChunkRef ssnd;
    if (!findChunk(bytes, size, 12, "SSND", ByteOrder::Big, ssnd)) return false;
    if (!ssnd.complete(size) || ssnd.declaredSize < kSsndHeaderSize) return false;
    if (readBe32(bytes + ssnd.bodyOffset) != 0) return false;
    // The chunk size counts the offset and block-size fields too.
    const uint32_t dataBytes = ssnd.declaredSize - kSsndHeaderSize;
    const uint32_t frameBytes = static_cast<uint32_t>(bytesPerValue(encoding) * channels);
    const uint32_t frames = dataBytes / frameBytes;
    if (frames == 0) return false;

    convertSampleData(bytes + ssnd.bodyOffset + kSsndHeaderSize, frames, channels, encoding, options.channels, out);
    out.sampleRateHz = static_cast<float>(rateHz);
    return true;
}
