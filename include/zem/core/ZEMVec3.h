#ifndef ZEM_CORE_ZEMVEC3_H
#define ZEM_CORE_ZEMVEC3_H

#include <zem/core/ZEMExport.h>

#include <iosfwd>

// A vector of three floats.
struct ZEMVec3 {
    // The components.
    float x;
    float y;
    float z;
};

// Writes "(x, y, z)", each component as a double in the stream's current format.
ZEM_API std::ostream& operator<<(std::ostream& out, const ZEMVec3& v);

#endif
