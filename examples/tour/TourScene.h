#ifndef ZEM_EXAMPLES_TOURSCENE_H
#define ZEM_EXAMPLES_TOURSCENE_H

#include <zem/graphics/ZEMImage.h>

#include <memory>

// The tour's drawing, 320 x 200: gradients, shapes, a keyed sprite and text. bpp 8 gives an
// indexed picture with its palette; any other value a 32-bit one. The native tour saves it and
// the web page shows it, so both draw with this one piece of code.
std::unique_ptr<ZEMImage> DrawTourScene(unsigned bpp);

#endif
