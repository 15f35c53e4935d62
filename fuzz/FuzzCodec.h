#ifndef ZEM_FUZZ_FUZZCODEC_H
#define ZEM_FUZZ_FUZZCODEC_H

// Loads arbitrary bytes with one codec. A picture that loads must have a buffer of its size; where
// the format has a writer, the picture must save and load back to the same pixels and palette.

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMMemFile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

using CodecLoad = bool (*)(ZEMResFile&, uint8_t*&, uint32_t&, uint32_t&, ZEMPal*&, uint16_t&);
using CodecSave = bool (*)(ZEMResFile&, const ZEMImage&);

// Pictures above this size are not saved again: it only slows the run.
constexpr uint64_t FUZZ_ROUND_TRIP_BYTES = 1 << 22;

inline bool FuzzLoad(CodecLoad load, uint8_t* bytes, size_t size, ZEMImage& image) {
    ZEMMemFile file(unsigned(size), ZEMResFile::READ, bytes);
    return file.IsOK() &&
           load(file, image.data, image.width, image.height, image.palette, image.bpp);
}

// Saves image with save, loads it back with load and checks that nothing changed.
inline void FuzzRoundTrip(const ZEMImage& image, CodecLoad load, CodecSave save) {
    const uint64_t pixels = uint64_t(image.height) * image.pitch;
    // Room for any header and colour table, and pixels that packing doubles at worst.
    std::vector<uint8_t> out(65536 + 3 * pixels + 8 * uint64_t(image.height));
    ZEMMemFile file(unsigned(out.size()), ZEMResFile::READ | ZEMResFile::WRITE, out.data());
    if (!save(file, image)) return; // a depth the writer does not take
    file.SeekStart();
    ZEMImage again(0, 0, 8);
    if (!load(file, again.data, again.width, again.height, again.palette, again.bpp)) abort();
    if (again.width != image.width || again.height != image.height || again.bpp != image.bpp)
        abort();
    if (std::memcmp(again.data, image.data, pixels) != 0) abort();
    if (image.bpp == 8 && image.palette && image.palette->nbColors <= 256) {
        if (!again.palette || again.palette->nbColors < image.palette->nbColors) abort();
        // Alpha has no place in the files' colour tables.
        for (unsigned i = 0; i < image.palette->nbColors; ++i) {
            if (std::memcmp(again.palette->colors + 4 * i, image.palette->colors + 4 * i, 3))
                abort();
        }
    }
}

// One run: load with load, then round trip through each writer.
inline int FuzzCodec(const uint8_t* data, size_t size, CodecLoad load,
                     std::initializer_list<CodecSave> saves) {
    std::vector<uint8_t> bytes(data, data + size);
    ZEMImage image(0, 0, 8);
    if (!FuzzLoad(load, bytes.data(), bytes.size(), image)) return 0;
    image.pitch = image.width * ((image.bpp + 7) / 8);
    const uint64_t pixels = uint64_t(image.height) * image.pitch;
    if (pixels == 0 || !image.data) abort();
    // Every row must be there: touch one byte in each.
    volatile unsigned sum = 0;
    for (uint32_t y = 0; y < image.height; ++y)
        sum = sum + image.data[uint64_t(y) * image.pitch];
    if (pixels <= FUZZ_ROUND_TRIP_BYTES) {
        for (CodecSave save : saves)
            FuzzRoundTrip(image, load, save);
    }
    return 0;
}

#endif
