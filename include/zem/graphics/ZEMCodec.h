#ifndef ZEM_GRAPHICS_ZEMCODEC_H
#define ZEM_GRAPHICS_ZEMCODEC_H

#include <zem/core/ZEMExport.h>

#include <cstdint>

class ZEMImage;
class ZEMPal;
class ZEMResFile;

// The picture file codecs behind ZEMImage::Load and Save. A load function reads the picture at
// the stream's position into the given fields of an image: it replaces data and palette (freeing
// the old ones) and sets width, height and bpp; on failure it returns false. A save function
// writes the image at the stream's position.
//
// Pixel buffers are allocated with array new (nothrow) and freed with array delete. ZEMImage::Load
// hands a load function fresh fields (no buffer, a copy of the palette, the old sizes) and takes
// them over only when it returns true, freeing them otherwise: a failing load function need not
// undo what it did.
namespace ZEM {

ZEM_API bool BMPLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                     ZEMPal*& palette, uint16_t& bpp);
ZEM_API bool BMPSave(ZEMResFile& file, const ZEMImage& image);

ZEM_API bool GIFLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                     ZEMPal*& palette, uint16_t& bpp);

ZEM_API bool PCXLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                     ZEMPal*& palette, uint16_t& bpp);
ZEM_API bool PCXSave(ZEMResFile& file, const ZEMImage& image);

ZEM_API bool TGALoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                     ZEMPal*& palette, uint16_t& bpp);
ZEM_API bool TGASave(ZEMResFile& file, const ZEMImage& image);
ZEM_API bool TGASaveRLE(ZEMResFile& file, const ZEMImage& image);

// The glyph picture of a font file (image format 6).
ZEM_API bool FontImageLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                           ZEMPal*& palette, uint16_t& bpp);

} // namespace ZEM

#endif
