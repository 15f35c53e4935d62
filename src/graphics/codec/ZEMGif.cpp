#include <zem/graphics/ZEMCodec.h>

// Placeholder until the GIF codec lands.
namespace ZEM {

bool GIFLoad(ZEMResFile&, uint8_t*&, uint32_t&, uint32_t&, ZEMPal*&, uint16_t&) {
    return false;
}

} // namespace ZEM
