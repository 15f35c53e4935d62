// Loads arbitrary bytes as a palette; the first byte picks the format (0 detects it, 1 ZEM,
// 2 GIMP, 3 JASC, 4 raw RGB, 5 raw BGR). Whatever loads must respect the format's colour limit
// and save and load back to the same colours in the same format.
#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMMemFile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned FORMATS = 6;
// Room for the longest save: a JASC line of 12 bytes for each of 4096 colours, and the header.
constexpr unsigned OUT_SIZE = 64 * 1024;

// Sums of every byte go here, so that reading them is not optimised away.
volatile unsigned sink;

unsigned LimitOf(int format) {
    return format == 2 || format == 4 || format == 5 ? 256 : ZEMPal::MAX_COLORS;
}

bool SameColors(const ZEMPal& a, const ZEMPal& b) {
    return a.nbColors == b.nbColors &&
           (a.nbColors == 0 || std::memcmp(a.colors, b.colors, 4 * size_t(a.nbColors)) == 0);
}

void CheckShape(const ZEMPal& pal, unsigned limit) {
    if (pal.nbColors > limit || (pal.colors == nullptr) != (pal.nbColors == 0)) abort();
    // Every byte is read, so that the sanitizer sees an array shorter than the count.
    unsigned sum = 0;
    for (size_t i = 0; i < 4 * size_t(pal.nbColors); ++i)
        sum += pal.colors[i];
    sink = sum;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int format = data[0] % FORMATS;
    std::vector<unsigned char> bytes(data + 1, data + size);
    ZEMMemFile in(unsigned(bytes.size()), ZEMResFile::READ, bytes.data());

    ZEMPal pal(0u);
    const bool loaded = pal.Load(in, format);
    CheckShape(pal, format == 0 ? ZEMPal::MAX_COLORS : LimitOf(format));
    pal.PrintInfo();
    if (!loaded) return 0;

    // Raw files of no colour at all cannot be read back: there is nothing to write.
    const int saveFormat = format == 0 ? 1 : format;
    if (pal.nbColors == 0 && saveFormat >= 4) return 0;
    ZEMMemFile out(OUT_SIZE, ZEMResFile::READ | ZEMResFile::WRITE);
    if (!pal.Save(out, saveFormat)) abort();
    unsigned written = out.GetPos();
    if (written == 0) abort();
    ZEMMemFile back(written, ZEMResFile::READ, out.GetData());
    ZEMPal again(3u);
    if (!again.Load(back, saveFormat) || !SameColors(pal, again)) abort();
    return 0;
}
