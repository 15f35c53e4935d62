// Loads arbitrary bytes as the picture of a font file (image format 6). A refused file leaves the
// image as it was; a loaded one holds exactly height x pitch bytes, every one of them readable.
#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMMemFile.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return 0;
    std::vector<unsigned char> bytes(data, data + size);
    ZEMMemFile file(unsigned(size), ZEMResFile::READ, bytes.data());
    ZEMImage image(3, 2, 8);
    image.ReplacePalette(new ZEMPal(5u));
    const uint8_t* before = image.data;
    if (!image.Load(file, 6)) {
        if (image.data != before || image.width != 3 || image.height != 2 || image.bpp != 8 ||
            image.palette->nbColors != 5) {
            abort();
        }
        return 0;
    }
    if (image.bpp != 8 && image.bpp != 24 && image.bpp != 32) abort();
    if (image.pitch != image.width * ((image.bpp + 7) / 8)) abort();
    if (!image.data != (size_t(image.height) * image.pitch == 0)) abort();
    unsigned sum = 0;
    for (size_t i = 0; i < size_t(image.height) * image.pitch; ++i)
        sum += image.data[i];
    if (image.bpp == 8 && (!image.palette || image.palette->nbColors < 2)) abort();
    image.GetPixel(int(sum % 1024), int(sum % 3));
    image.PrintInfo();
    return 0;
}
