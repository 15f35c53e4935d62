#ifndef ZEM_CORE_ZEMPOINT_H
#define ZEM_CORE_ZEMPOINT_H

#include <zem/core/ZEMExport.h>

#include <cstdint>
#include <iosfwd>

// A point on a 16-bit pixel grid.
struct ZEMPoint {
    int16_t x; // column, growing to the right
    int16_t y; // row, growing downwards
};

// Writes "(x, y)".
ZEM_API std::ostream& operator<<(std::ostream& out, const ZEMPoint& p);

#endif
