// Loads arbitrary bytes as a string array in each load format. Whatever loads must save in the
// length-prefixed format and load back to the same slots.
#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMMemFile.h>
#include <zem/text/ZEMText.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool SameSlots(const ZEMText& a, const ZEMText& b) {
    for (unsigned i = 0; i < a.NbSlots() || i < b.NbSlots(); ++i) {
        const char* x = a.GetString(i);
        const char* y = b.GetString(i);
        if (!x != !y || (x && std::strcmp(x, y) != 0)) return false;
    }
    return true;
}

void CheckRoundTrip(ZEMText& text) {
    // The length-prefixed form needs fewer bytes than MemoryUsed counts.
    unsigned size = text.MemoryUsed();
    ZEMMemFile out(size, ZEMResFile::READ | ZEMResFile::WRITE);
    if (!text.Save(out, 0)) {
        if (text.Length() != 0) abort();
        return;
    }
    unsigned written = out.GetPos();
    ZEMMemFile in(written, ZEMResFile::READ, out.GetData());
    ZEMText again(1);
    if (!again.Load(in, 2) || !SameSlots(text, again)) abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0); // the empty-text message would flood the output
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) return 0;
    std::vector<unsigned char> bytes(data, data + size);
    for (int format : {0, 1, 2}) {
        ZEMMemFile file(unsigned(size), ZEMResFile::READ, bytes.data());
        ZEMText text(1);
        if (text.Load(file, format)) CheckRoundTrip(text);
    }
    return 0;
}
