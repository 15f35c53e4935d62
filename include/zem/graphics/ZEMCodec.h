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

// BMP: Windows and OS/2 headers, 1 to 32 bits, RLE8, RLE4 and bit fields; saved uncompressed.
ZEM_API bool BMPLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                     ZEMPal*& palette, uint16_t& bpp);
// Writes an uncompressed BMP of the image's depth.
ZEM_API bool BMPSave(ZEMResFile& file, const ZEMImage& image);

// GIF, read only: the first picture of the file, interlaced or not, as 8 bits with its palette.
ZEM_API bool GIFLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                     ZEMPal*& palette, uint16_t& bpp);

// PCX, run-length packed: 8 bits in 1, 3 or 4 planes; fewer bits are read as 8-bit pictures.
ZEM_API bool PCXLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                     ZEMPal*& palette, uint16_t& bpp);
// Writes a run-length packed PCX.
ZEM_API bool PCXSave(ZEMResFile& file, const ZEMImage& image);

// TGA: colour-mapped, true-colour, grey, grey with alpha; plain or run-length; any row order.
ZEM_API bool TGALoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                     ZEMPal*& palette, uint16_t& bpp);
// Writes a plain TGA; TGASaveRLE writes one with run-length packing.
ZEM_API bool TGASave(ZEMResFile& file, const ZEMImage& image);
ZEM_API bool TGASaveRLE(ZEMResFile& file, const ZEMImage& image);

// The most pixel bytes that a load function accepts; larger pictures are refused as damaged.
constexpr uint64_t MAX_PICTURE_BYTES = uint64_t(1) << 30;

// Why the picture files of save format (as ZEMImage::Save numbers them) could not hold a picture
// of width x height pixels of bpp bits that the load functions read back, or null when they can.
// Whatever sizes a picture from outside input asks this before it allocates.
ZEM_API const char* PictureSizeProblem(int format, uint32_t width, uint32_t height, unsigned bpp);

// The glyph picture of a font file (image format 6).
ZEM_API bool FontImageLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height,
                           ZEMPal*& palette, uint16_t& bpp);

} // namespace ZEM

#endif
