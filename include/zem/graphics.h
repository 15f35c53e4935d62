#ifndef ZEM_GRAPHICS_H
#define ZEM_GRAPHICS_H

// Graphics: images, drawing, codecs, palettes and bitmap fonts.
#include <zem/graphics/ZEMChar.h>
#include <zem/graphics/ZEMCodec.h>
#include <zem/graphics/ZEMFont.h>
#include <zem/graphics/ZEMFontBuilder.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>

#endif
