#include <zem/graphics/ZEMCodec.h>

// Placeholder until the PCX codec lands.
namespace ZEM {

bool PCXLoad(ZEMResFile&, uint8_t*&, uint32_t&, uint32_t&, ZEMPal*&, uint16_t&) {
    return false;
}
bool PCXSave(ZEMResFile&, const ZEMImage&) {
    return false;
}

} // namespace ZEM
