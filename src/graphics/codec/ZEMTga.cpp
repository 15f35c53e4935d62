#include <zem/graphics/ZEMCodec.h>

// Placeholder until the TGA codec lands.
namespace ZEM {

bool TGALoad(ZEMResFile&, uint8_t*&, uint32_t&, uint32_t&, ZEMPal*&, uint16_t&) {
    return false;
}
bool TGASave(ZEMResFile&, const ZEMImage&) {
    return false;
}
bool TGASaveRLE(ZEMResFile&, const ZEMImage&) {
    return false;
}

} // namespace ZEM
