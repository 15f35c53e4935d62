// Arbitrary bytes as a PAK archive: opened, read and edited.
#include "FuzzArchive.h"

#include <zem/provider/ZEMArchPAK.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzarch::EnterScratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzarch::Run<ZEMArchPAK>(data, size);
}
