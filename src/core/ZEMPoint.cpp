#include <zem/core/ZEMPoint.h>

#include <ostream>

std::ostream& operator<<(std::ostream& out, const ZEMPoint& p) {
    return out << '(' << p.x << ", " << p.y << ')';
}
