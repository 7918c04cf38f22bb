// The one translation unit that compiles Debian's header-only stb
// libraries (built without warnings: the code is not ours): PNG only, no
// stdio (files go through our own code), and the TrueType rasteriser, whose
// glyph path uses only IEEE arithmetic and sqrt, so glyphs come out the same
// on every C library.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_SIMD
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
