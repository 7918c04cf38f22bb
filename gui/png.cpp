#include "gui/png.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include <stb_image.h>
#include <stb_image_write.h>

#include "platform/platform.h"

namespace gui {

namespace {
// Far above any skin bitmap (the largest is a 1430 × 340 strip), low enough
// that a damaged header cannot make a decode allocate much.
constexpr int kMaxSide = 4096;
constexpr long kMaxPixels = 4L * 1024 * 1024;

uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// Every chunk, up to IEND, lies inside the data. stb grows its buffer for a
// chunk by the length the chunk claims before it reads the bytes, so a
// damaged length would have it allocate up to 2 GiB.
bool chunksInside(const uint8_t* data, size_t size) {
    size_t at = 8;
    while (size - at >= 12) {
        const uint32_t length = bigEndian32(data + at);
        if (length > size - at - 12) return false;
        const bool end = std::memcmp(data + at + 4, "IEND", 4) == 0;
        at += 12 + static_cast<size_t>(length);
        if (end) return true;
    }
    return false;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}
}  // namespace

bool decodePng(const uint8_t* data, size_t size, Bitmap& out) {
    if (data == nullptr || size < 8 || size > 0x7FFFFFFF) return false;
    if (!chunksInside(data, size)) return false;
    int w = 0, h = 0, channels = 0;
    // Check the header before stb allocates for it.
    if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &channels)) return false;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || static_cast<long>(w) * h > kMaxPixels) return false;
    unsigned char* rgba = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, 4);
    if (rgba == nullptr) return false;
    Bitmap result(w, h);
    const unsigned char* p = rgba;
    uint32_t* dst = result.pixels();
    for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i, p += 4) {
        dst[i] = argb(p[3], p[0], p[1], p[2]);
    }
    stbi_image_free(rgba);
    out = std::move(result);
    return true;
}

std::vector<uint8_t> encodePng(const Bitmap& bitmap) {
    std::vector<uint8_t> out;
    if (bitmap.empty()) return out;
    std::vector<uint8_t> rgba(static_cast<size_t>(bitmap.width()) * bitmap.height() * 4);
    const uint32_t* src = bitmap.pixels();
    for (size_t i = 0, n = static_cast<size_t>(bitmap.width()) * bitmap.height(); i < n; ++i) {
        rgba[4 * i + 0] = static_cast<uint8_t>(redOf(src[i]));
        rgba[4 * i + 1] = static_cast<uint8_t>(greenOf(src[i]));
        rgba[4 * i + 2] = static_cast<uint8_t>(blueOf(src[i]));
        rgba[4 * i + 3] = static_cast<uint8_t>(alphaOf(src[i]));
    }
    stbi_write_png_to_func(appendBytes, &out, bitmap.width(), bitmap.height(), 4, rgba.data(),
                           bitmap.width() * 4);
    return out;
}

bool loadPngResource(const char* name, Bitmap& out) {
    platform::ResourceData resource;
    if (!platform::findResource("PNG", name, resource)) return false;
    return decodePng(resource.data, resource.size, out);
}

bool readPngFile(const std::string& path, Bitmap& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return decodePng(bytes.data(), bytes.size(), out);
}

bool writePngFile(const std::string& path, const Bitmap& bitmap) {
    const std::vector<uint8_t> bytes = encodePng(bitmap);
    if (bytes.empty()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace gui
