// Detects and loads arbitrary bytes as a picture. Detection must name a known format or none and
// leave the stream where it was; a failed load must leave the image exactly as it was, and a
// picture that loads must have a buffer of height x pitch bytes and the whole picture as clip
// rectangle.
#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMMemFile.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Sums of every byte go here, so that reading them is not optimised away.
volatile unsigned sink;

bool KnownFormat(int format) {
    return format == 1 || format == 2 || format == 3 || format == 4 || format == 6;
}

// A small 8-bit picture with a palette and a clip rectangle of its own.
void Prepare(ZEMImage& image) {
    for (unsigned i = 0; i < image.height * image.pitch; ++i)
        image.data[i] = static_cast<uint8_t>(i * 5 + 1);
    ZEMPal* pal = new ZEMPal(3u);
    std::memset(pal->colors, 0x42, 12);
    image.ReplacePalette(pal);
    image.SetClipping(1, 0, 2, 1);
}

bool Unchanged(const ZEMImage& image, const ZEMImage& before, const uint8_t* data,
               const ZEMPal* palette) {
    return image.data == data && image.palette == palette && image.width == before.width &&
           image.height == before.height && image.pitch == before.pitch &&
           image.bpp == before.bpp && image.clipX1 == before.clipX1 &&
           image.clipX2 == before.clipX2 && image.clipY1 == before.clipY1 &&
           image.clipY2 == before.clipY2 &&
           std::memcmp(image.data, before.data, before.height * before.pitch) == 0 &&
           palette->nbColors == 3 && std::memcmp(palette->colors, before.palette->colors, 12) == 0;
}

void CheckLoaded(const ZEMImage& image) {
    const uint64_t size = uint64_t(image.height) * image.pitch;
    if (image.pitch != uint64_t(image.width) * ((image.bpp + 7) / 8)) abort();
    if ((image.data == nullptr) != (size == 0) || size > 0xFFFFFFFFu) abort();
    if (image.width && image.height && image.IsClipping()) abort();
    if (image.palette && (image.palette->colors == nullptr) != (image.palette->nbColors == 0))
        abort();
    // No 8-bit picture indexes past its palette.
    if (image.bpp == 8 && image.palette && size &&
        *std::max_element(image.data, image.data + size) >= image.palette->nbColors)
        abort();
    unsigned sum = 0;
    for (uint64_t i = 0; i < size; ++i)
        sum += image.data[i];
    for (unsigned i = 0; image.palette && i < 4 * image.palette->nbColors; ++i)
        sum += image.palette->colors[i];
    // Every byte is read, so that the sanitizer sees a buffer shorter than it claims.
    // Sides past INT_MAX (an empty picture may claim one) stop at the last int coordinate.
    const int lastX = int(std::min<uint64_t>(image.width, INT_MAX)) - 1;
    const int lastY = int(std::min<uint64_t>(image.height, INT_MAX)) - 1;
    sink = sum + image.GetPixel(lastX, lastY);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<unsigned char> bytes(data, data + size);
    ZEMMemFile in(unsigned(size), ZEMResFile::READ, bytes.data());

    ZEMImage image(4, 2, 8);
    Prepare(image);
    const int format = image.FindFormat(in);
    // Bytes that are no picture give 0; the stream stays where it was whenever 4 bytes were there.
    if (size >= 4 ? (format != 0 && !KnownFormat(format)) || in.GetPos() != 0 : format != 0)
        abort();
    in.SeekStart();

    ZEMImage before(&image);
    const uint8_t* pixels = image.data;
    const ZEMPal* palette = image.palette;
    if (!image.Load(in, 0)) {
        if (!Unchanged(image, before, pixels, palette)) abort();
        return 0;
    }
    CheckLoaded(image);
    return 0;
}
