#include <zem/graphics/ZEMCodec.h>

// Placeholder until the BMP codec lands.
namespace ZEM {

bool BMPLoad(ZEMResFile&, uint8_t*&, uint32_t&, uint32_t&, ZEMPal*&, uint16_t&) {
    return false;
}
bool BMPSave(ZEMResFile&, const ZEMImage&) {
    return false;
}

} // namespace ZEM
