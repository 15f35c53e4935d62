// Loads arbitrary bytes as a BMP file and saves what loads as BMP again.
#include "FuzzCodec.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZEM::SetLogLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzCodec(data, size, ZEM::BMPLoad, {ZEM::BMPSave});
}
