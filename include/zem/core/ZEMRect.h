#ifndef ZEM_CORE_ZEMRECT_H
#define ZEM_CORE_ZEMRECT_H

#include <zem/core/ZEMExport.h>

#include <cstdint>
#include <iosfwd>

// A rectangle of pixels: columns x to x + w - 1, rows y to y + h - 1.
struct ZEM_API ZEMRect {
    int16_t x;  // left column
    int16_t y;  // top row
    uint16_t w; // width
    uint16_t h; // height

    // Whether the two rectangles share at least one pixel (touching edges do not count).
    bool IsIntersect(const ZEMRect& o) const;
    // The smallest rectangle containing both; an empty rectangle's corner is included too.
    ZEMRect Union(const ZEMRect& o) const;
    // The common part; width or height 0 when there is none.
    ZEMRect Intersection(const ZEMRect& o) const;
    // Replaces this rectangle by the common part.
    void Intersect(const ZEMRect& o);
};

// Writes "(x, y) w x h".
ZEM_API std::ostream& operator<<(std::ostream& out, const ZEMRect& r);

#endif
