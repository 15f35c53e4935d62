#include <zem/core/ZEMVec3.h>

#include <ostream>

std::ostream& operator<<(std::ostream& out, const ZEMVec3& v) {
    return out << '(' << static_cast<double>(v.x) << ", " << static_cast<double>(v.y) << ", "
               << static_cast<double>(v.z) << ')';
}
