#ifndef ZEM_GRAPHICS_H
#define ZEM_GRAPHICS_H

// Graphics: images, drawing, codecs, palettes and bitmap fonts.

#endif
