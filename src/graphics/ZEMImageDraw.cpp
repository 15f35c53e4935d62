// The drawing operations of ZEMImage: lines, frames, rectangles, gradients, circles, disks and
// block copies. Every sum of a coordinate and a size is taken in 64 bits, so nothing far outside
// the clip rectangle wraps around into it.
#include <zem/graphics/ZEMImage.h>

#include "graphics/ZEMBlendRow.h"
#include "graphics/ZEMCanvas.h"
#include "graphics/ZEMKeyedRow.h"

#include <cstring>

using ZEM::Draw::Canvas;
using ZEM::Draw::CutRange;

namespace {

int64_t Abs(int64_t v) {
    return v < 0 ? -v : v;
}

// a * b / n and a * b % n for values below 2^34, without overflowing 64 bits.
void MulDiv(uint64_t a, uint64_t b, uint64_t n, uint64_t& quotient, uint64_t& remainder) {
    const uint64_t high = a * (b >> 17);
    const uint64_t rest = (high % n << 17) + a * (b & 0x1FFFF);
    quotient = (high / n << 17) + rest / n;
    remainder = rest % n;
}

// The steps of a line along its major axis a (length da) while the minor axis b (length db, no
// longer) follows the error term. Only the steps whose a lies in [low, high] are visited: they
// start where the error term would stand after the skipped ones, so the pixels are those of the
// whole walk.
template <class Plot>
void WalkLine(int64_t a0, int64_t da, int64_t b0, int64_t db, int64_t low, int64_t high,
              Plot plot) {
    const int64_t sa = da < 0 ? -1 : 1;
    const int64_t sb = db < 0 ? -1 : 1;
    const uint64_t n = uint64_t(Abs(da)) + 1;
    const uint64_t m = uint64_t(Abs(db)) + 1;
    int64_t first = sa > 0 ? a0 : a0 + da;
    int64_t last = sa > 0 ? a0 + da : a0;
    if (!CutRange(first, last, low, high)) return;
    const uint64_t begin = uint64_t(sa > 0 ? first - a0 : a0 - last);
    const uint64_t end = uint64_t(sa > 0 ? last - a0 : a0 - first);
    uint64_t steps = 0;
    uint64_t error = 0;
    MulDiv(begin, m, n, steps, error);
    int64_t b = b0 + sb * int64_t(steps);
    for (uint64_t i = begin; i <= end; ++i) {
        plot(a0 + sa * int64_t(i), b);
        error += m;
        if (error >= n) {
            error -= n;
            b += sb;
        }
    }
}

// The midpoint walk over one octant of a circle of radius r: x from 0 up, y from r down.
struct Midpoint {
    explicit Midpoint(unsigned r) : y(r), d(1 - int64_t(r)), dSE(5 - 2 * int64_t(r)) {}

    bool Running() const { return x <= y; }
    // Whether the next step moves y down.
    bool StepsDown() const { return d >= 0; }
    void Next() {
        if (d < 0) {
            d += dE;
            dSE += 2;
        } else {
            d += dSE;
            dSE += 4;
            --y;
        }
        dE += 2;
        ++x;
    }

    int64_t x = 0;
    int64_t y;
    int64_t d;
    int64_t dE = 3;
    int64_t dSE;
};

// Whether the square of side 2r + 1 around (cx, cy) meets the clip rectangle.
bool Reaches(const Canvas& canvas, int64_t cx, int64_t cy, unsigned r) {
    return cx + r >= canvas.x1 && cx - r <= canvas.x2 && cy + r >= canvas.y1 && cy - r <= canvas.y2;
}

// One colour channel shading from a to b over n steps in single precision, as the gradient draws.
class Shade {
public:
    Shade(float a, float b, uint64_t n) : value_(a + 0.5f) {
        if (n > 1) step_ = (b - a) / float(n - 1);
    }
    // The value of the current step, truncated, then moves to the next.
    int64_t Next() {
        const int64_t v = int64_t(value_);
        value_ += step_;
        return v;
    }

private:
    float value_;
    float step_ = 0.0f;
};

// The colours of a gradient: whole values on 8 bits, the three low bytes apart on deeper images.
class GradientColors {
public:
    GradientColors(unsigned c1, unsigned c2, uint64_t n, unsigned bytes)
        : whole_(bytes == 1),
          value_(float(c1), float(c2), n), channels_{Channel(c1, c2, 0, n), Channel(c1, c2, 1, n),
                                                     Channel(c1, c2, 2, n)} {}

    unsigned Next() {
        if (whole_) return unsigned(value_.Next()) & 0xFF;
        unsigned color = 0xFF000000u;
        for (unsigned i = 0; i < 3; ++i)
            color |= (unsigned(channels_[i].Next()) & 0xFF) << (8 * i);
        return color;
    }

private:
    static Shade Channel(unsigned c1, unsigned c2, unsigned i, uint64_t n) {
        return Shade(float((c1 >> (8 * i)) & 0xFF), float((c2 >> (8 * i)) & 0xFF), n);
    }

    bool whole_;
    Shade value_;
    Shade channels_[3];
};

// A copy between images after the cuts: w x h pixels from (sx, sy) of the source to (x, y).
struct Block {
    int64_t x, y, sx, sy, w, h;
};

// Cuts one axis of a copy: the destination to [low, high], the source to [0, size).
bool CutAxis(int64_t& d, int64_t& s, int64_t& length, int64_t low, int64_t high, int64_t size) {
    if (d < low) {
        length -= low - d;
        s += low - d;
        d = low;
    }
    if (s + length > size) length = size - s;
    if (d + length - 1 > high) length = high + 1 - d;
    return length > 0;
}

// The block a copy from src to dst touches; false when nothing is copied.
bool CutBlock(const Canvas& dst, const Canvas& src, Block& b) {
    if (dst.Empty() || src.bytes == 0) return false;
    if (b.x > dst.x2 || b.y > dst.y2) return false;
    if (b.sx < 0 || b.sy < 0 || b.sx >= src.width || b.sy >= src.height) return false;
    return CutAxis(b.x, b.sx, b.w, dst.x1, dst.x2, src.width) &&
           CutAxis(b.y, b.sy, b.h, dst.y1, dst.y2, src.height);
}

// Calls copy(destination row, source row) for every row of the block, in an order that reads
// each source row before it is overwritten when both lie in one buffer.
template <class CopyRow>
void ForRows(const Canvas& dst, const Canvas& src, const Block& b, CopyRow copy) {
    const bool upward = dst.data == src.data && b.y > b.sy;
    for (int64_t i = 0; i < b.h; ++i) {
        const int64_t row = upward ? b.h - 1 - i : i;
        copy(dst.At(b.x, b.y + row), src.At(b.sx, b.sy + row));
    }
}

// 24-bit pixels, compared whole or through a mask.
struct Triple {
    uint8_t bytes[3];
    bool operator==(const Triple& other) const {
        return bytes[0] == other.bytes[0] && bytes[1] == other.bytes[1] &&
               bytes[2] == other.bytes[2];
    }
    Triple operator&(const Triple& mask) const {
        return {{uint8_t(bytes[0] & mask.bytes[0]), uint8_t(bytes[1] & mask.bytes[1]),
                 uint8_t(bytes[2] & mask.bytes[2])}};
    }
};

// The bits of a pixel that a key compares: all of them, or for KEY_COLOR all but the alpha byte
// of 32 bits and the top bit of 15 and 16 bits, which no colour uses.
unsigned KeyBits(unsigned bytes, ZEMImage::KeyMatch match) {
    if (match != ZEMImage::KEY_COLOR) return 0xFFFFFFFFu;
    return bytes == 2 ? 0x7FFFu : bytes == 4 ? 0x00FFFFFFu : 0xFFFFFFFFu;
}

// Copies the block's pixels that differ from the key, a row at a time. Backward along the rows
// when the destination lies right of the source in the same picture, so none is read after it
// changed.
template <class T, void (*Row)(uint8_t*, const uint8_t*, size_t, T, T, bool)>
void KeyedCopy(const Canvas& dst, const Canvas& src, const Block& b, unsigned key, unsigned bits) {
    const T mask = ZEM::Draw::Pattern<T>(bits);
    const T pixelKey = ZEM::Draw::Pattern<T>(key & bits);
    const bool backward = dst.data == src.data && b.x > b.sx;
    const size_t n = size_t(b.w);
    ForRows(dst, src, b,
            [&](uint8_t* d, const uint8_t* s) { Row(d, s, n, pixelKey, mask, backward); });
}

} // namespace

void ZEMImage::HLine(int x, int y, unsigned length, unsigned color, DrawMode mode) {
    Canvas(*this).Span(x, y, length, color, mode != DRAW_COPY);
}

void ZEMImage::VLine(int x, int y, unsigned length, unsigned color, DrawMode mode) {
    Canvas(*this).Column(x, y, length, color, mode != DRAW_COPY);
}

void ZEMImage::Rectangle(int x, int y, unsigned w, unsigned h, unsigned color, DrawMode mode) {
    Canvas(*this).Fill(x, y, w, h, color, mode != DRAW_COPY);
}

void ZEMImage::Frame(int x, int y, unsigned w, unsigned h, unsigned color, DrawMode mode) {
    // Each pixel of the outline once, also when the rectangle is one row or one column wide.
    if (w == 0 || h == 0) return;
    const Canvas canvas(*this);
    const bool xorMode = mode != DRAW_COPY;
    canvas.Span(x, y, w, color, xorMode);
    if (h == 1) return;
    canvas.Span(x, int64_t(y) + h - 1, w, color, xorMode);
    canvas.Column(x, int64_t(y) + 1, h - 2, color, xorMode);
    if (w > 1) canvas.Column(int64_t(x) + w - 1, int64_t(y) + 1, h - 2, color, xorMode);
}

void ZEMImage::Line(int x1, int y1, int x2, int y2, unsigned color, DrawMode mode) {
    const Canvas canvas(*this);
    if (canvas.Empty()) return;
    const bool xorMode = mode != DRAW_COPY;
    const int64_t dx = int64_t(x2) - x1;
    const int64_t dy = int64_t(y2) - y1;
    if (Abs(dx) >= Abs(dy)) {
        WalkLine(x1, dx, y1, dy, canvas.x1, canvas.x2,
                 [&](int64_t x, int64_t y) { canvas.Plot(x, y, color, xorMode); });
    } else {
        WalkLine(y1, dy, x1, dx, canvas.y1, canvas.y2,
                 [&](int64_t y, int64_t x) { canvas.Plot(x, y, color, xorMode); });
    }
}

void ZEMImage::Circle(int cx, int cy, unsigned r, unsigned color, DrawMode mode) {
    const Canvas canvas(*this);
    if (canvas.Empty() || !Reaches(canvas, cx, cy, r)) return;
    const bool xorMode = mode != DRAW_COPY;
    // Each point of the octant stands for up to eight; the tests keep points on an axis or on
    // the diagonal from being drawn twice.
    auto plot = [&](int64_t x, int64_t y) { canvas.Plot(cx + x, cy + y, color, xorMode); };
    for (Midpoint m(r); m.Running(); m.Next()) {
        const int64_t x = m.x, y = m.y;
        plot(x, y);
        if (x != 0) plot(-x, y);
        if (y != 0) plot(x, -y);
        if (x != 0 && y != 0) plot(-x, -y);
        if (x == y) continue;
        plot(y, x);
        if (x != 0) plot(y, -x);
        if (y != 0) plot(-y, x);
        if (x != 0 && y != 0) plot(-y, -x);
    }
}

void ZEMImage::Disk(int cx, int cy, unsigned r, unsigned color, DrawMode mode) {
    const Canvas canvas(*this);
    if (canvas.Empty() || !Reaches(canvas, cx, cy, r)) return;
    const bool xorMode = mode != DRAW_COPY;
    // Rows near the middle are drawn at every step, those at the top and bottom only when y is
    // about to move, so every row is drawn once.
    auto span = [&](int64_t x, int64_t y, int64_t length) {
        canvas.Span(cx + x, cy + y, uint64_t(length), color, xorMode);
    };
    for (Midpoint m(r); m.Running(); m.Next()) {
        const int64_t x = m.x, y = m.y;
        span(-y, -x, 2 * y);
        if (x != 0) span(-y, x, 2 * y);
        if (!m.StepsDown() || x == y) continue;
        span(-x, -y, 2 * x);
        if (y != 0) span(-x, y, 2 * x);
    }
}

void ZEMImage::Gradient(int x, int y, unsigned w, unsigned h, unsigned c1, unsigned c2,
                        int direction, DrawMode mode) {
    if (c1 == c2) return Rectangle(x, y, w, h, c1, mode);
    if (mode != DRAW_COPY || (direction != 0 && direction != 1)) return;
    const Canvas canvas(*this);
    if (canvas.Empty() || w == 0 || h == 0) return;
    int64_t left = x, right = int64_t(x) + w - 1;
    int64_t top = y, bottom = int64_t(y) + h - 1;
    if (!CutRange(left, right, canvas.x1, canvas.x2)) return;
    if (!CutRange(top, bottom, canvas.y1, canvas.y2)) return;
    const size_t count = size_t(right - left + 1);
    if (direction == 0) {
        GradientColors colors(c1, c2, uint64_t(bottom - top + 1), canvas.bytes);
        for (int64_t row = top; row <= bottom; ++row)
            ZEM::Draw::FillRow(canvas.At(left, row), count, canvas.bytes, colors.Next(), false);
        return;
    }
    // Columns: the first row is shaded pixel by pixel, the others are copies of it.
    GradientColors colors(c1, c2, count, canvas.bytes);
    uint8_t* first = canvas.At(left, top);
    for (size_t i = 0; i < count; ++i)
        ZEM::Draw::Store(first + i * canvas.bytes, canvas.bytes, colors.Next());
    for (int64_t row = top + 1; row <= bottom; ++row)
        std::memcpy(canvas.At(left, row), first, count * canvas.bytes);
}

void ZEMImage::CopyImage(int x, int y, ZEMImage* src, int sx, int sy, unsigned w, unsigned h) {
    if (!src || src->bpp != bpp) return;
    const Canvas dst(*this), from(*src);
    Block b = {x, y, sx, sy, w, h};
    if (!CutBlock(dst, from, b)) return;
    // Within one picture the rows may overlap: memmove and the row order make it a copy
    // through a temporary.
    const size_t bytes = size_t(b.w) * dst.bytes;
    ForRows(dst, from, b, [&](uint8_t* d, const uint8_t* s) { std::memmove(d, s, bytes); });
}

void ZEMImage::TCopyImage(int x, int y, unsigned key, ZEMImage* src, int sx, int sy, unsigned w,
                          unsigned h, KeyMatch match) {
    if (!src || src->bpp != bpp) return;
    const Canvas dst(*this), from(*src);
    Block b = {x, y, sx, sy, w, h};
    if (!CutBlock(dst, from, b)) return;
    using ZEM::Draw::KeyedRow;
    const unsigned bits = KeyBits(dst.bytes, match);
    switch (dst.bytes) {
    case 1:
        return KeyedCopy<uint8_t, KeyedRow<uint8_t>>(dst, from, b, key, bits);
    case 2:
        return KeyedCopy<uint16_t, KeyedRow<uint16_t>>(dst, from, b, key, bits);
    case 3:
        return KeyedCopy<Triple, ZEM::Draw::KeyedRowPlain<Triple>>(dst, from, b, key, bits);
    default:
        return KeyedCopy<uint32_t, KeyedRow<uint32_t>>(dst, from, b, key, bits);
    }
}

void ZEMImage::BlendImage(int x, int y, ZEMImage* src, int sx, int sy, unsigned w, unsigned h) {
    if (!src || src->bpp != 32 || (bpp != 24 && bpp != 32)) return;
    const Canvas dst(*this), from(*src);
    Block b = {x, y, sx, sy, w, h};
    if (!CutBlock(dst, from, b)) return;
    const size_t n = size_t(b.w);
    if (dst.bytes == 3) {
        ForRows(dst, from, b,
                [&](uint8_t* d, const uint8_t* s) { ZEM::Draw::BlendRow<3>(d, s, n, false); });
        return;
    }
    // Within one picture, as the keyed copy: backward along rows whose destination lies right.
    const bool backward = dst.data == from.data && b.x > b.sx;
    ForRows(dst, from, b,
            [&](uint8_t* d, const uint8_t* s) { ZEM::Draw::BlendRow<4>(d, s, n, backward); });
}
