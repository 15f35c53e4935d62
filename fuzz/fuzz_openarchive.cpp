// Arbitrary bytes through format detection and OpenArchive: whatever opens hands out every member
// whole, inside the file.
#include "FuzzScratch.h"

#include <zem/core/ZEMLog.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/stream/ZEMResFile.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

const FuzzScratch input("open.arc");

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    input.Write(data, size);
    const int format = ZEMArchive::FindArchiveFormat(input.Path());
    if (format < 0 || format > 8 || format == 3) abort();
    std::unique_ptr<ZEMArchive> archive(ZEMArchive::OpenArchive(input.Path()));
    if (!archive) return 0;
    if (format != 1 && format != 2) abort();
    char buffer[4096];
    for (unsigned i = 0; i < archive->NbFiles(); ++i) {
        std::unique_ptr<ZEMResFile> member(archive->OpenResFile(i));
        uint64_t got = 0;
        while (member) {
            const unsigned n = member->Read(buffer, sizeof buffer);
            if (n == 0) break;
            got += n;
        }
        // A sound member reads whole; none reads more than the file holds.
        if ((archive->Damage(i).empty() && got != archive->FileSize(i)) || got > size) abort();
    }
    archive->PrintContent();
    archive->PrintInfo();
    return 0;
}
