#include <zem/core/ZEMRect.h>

#include <algorithm>
#include <ostream>

namespace {

// Edges in int so that x + w cannot wrap in 16 bits.
int Right(const ZEMRect& r) {
    return r.x + r.w;
}
int Bottom(const ZEMRect& r) {
    return r.y + r.h;
}

} // namespace

bool ZEMRect::IsIntersect(const ZEMRect& o) const {
    ZEMRect common = Intersection(o);
    return common.w != 0 && common.h != 0;
}

ZEMRect ZEMRect::Union(const ZEMRect& o) const {
    ZEMRect u;
    u.x = std::min(x, o.x);
    u.y = std::min(y, o.y);
    u.w = static_cast<uint16_t>(std::max(Right(*this), Right(o)) - u.x);
    u.h = static_cast<uint16_t>(std::max(Bottom(*this), Bottom(o)) - u.y);
    return u;
}

ZEMRect ZEMRect::Intersection(const ZEMRect& o) const {
    ZEMRect common;
    common.x = std::max(x, o.x);
    common.y = std::max(y, o.y);
    common.w = static_cast<uint16_t>(std::max(0, std::min(Right(*this), Right(o)) - common.x));
    common.h = static_cast<uint16_t>(std::max(0, std::min(Bottom(*this), Bottom(o)) - common.y));
    return common;
}

void ZEMRect::Intersect(const ZEMRect& o) {
    *this = Intersection(o);
}

std::ostream& operator<<(std::ostream& out, const ZEMRect& r) {
    return out << '(' << r.x << ", " << r.y << ") " << r.w << " x " << r.h;
}
