// Depth conversion of ZEMImage. Every row goes through colours 0xAARRGGBB stored as 32-bit pixels
// (blue, green, red, alpha): read from the old depth, then written in the new one. A row to or
// from 32 bits is read or written in place, without the step between.
#include <zem/graphics/ZEMImage.h>

#include <zem/graphics/ZEMPal.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const uint32_t OPAQUE = 0xFF000000u;

bool IsDepth(unsigned bpp) {
    return bpp == 8 || bpp == 15 || bpp == 16 || bpp == 24 || bpp == 32;
}

unsigned BytesOf(unsigned bpp) {
    return (bpp + 7) / 8;
}

// Whole words through memcpy, which the compilers turn into one load or store.
void Put32(uint8_t* p, uint32_t v) {
    const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::memcpy(p, bytes, 4);
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A palette colour (red, green, blue, alpha bytes) as an opaque 0xAARRGGBB.
uint32_t PaletteColor(const uint8_t* c) {
    return OPAQUE | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
}

unsigned Widen5(unsigned level) {
    return (level << 3) | (level >> 2);
}

unsigned Narrow5(unsigned byte) {
    return (byte * 31u + 127u) / 255u;
}

bool HasColors(const ZEMPal* palette) {
    return palette && palette->nbColors != 0 && palette->colors;
}

// The index of the nearest palette colour, remembered for the colours met lately: pictures
// repeat their colours, and a search goes over the whole palette.
class Nearest {
public:
    explicit Nearest(const ZEMPal& palette)
        : colors_(palette.colors), count_(std::min(palette.nbColors, 256u)) {
        std::fill(keys_, keys_ + CACHE, NONE);
    }

    uint8_t Index(uint32_t color) {
        const uint32_t rgb = color & 0xFFFFFFu;
        const size_t slot = uint32_t(rgb * 2654435761u) >> (32 - CACHE_BITS);
        if (keys_[slot] != rgb) {
            keys_[slot] = rgb;
            indexes_[slot] = Search(rgb);
        }
        return indexes_[slot];
    }

private:
    static const unsigned CACHE_BITS = 12;
    static const size_t CACHE = size_t(1) << CACHE_BITS;
    static const uint32_t NONE = 0xFFFFFFFFu; // no colour has a top byte in rgb

    uint8_t Search(uint32_t rgb) const {
        const int r = int(rgb >> 16), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
        unsigned best = 0;
        int bestDistance = 0x7FFFFFFF;
        for (unsigned i = 0; i < count_; ++i) {
            const uint8_t* c = colors_ + 4 * i;
            const int dr = c[0] - r, dg = c[1] - g, db = c[2] - b;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return uint8_t(best);
    }

    const uint8_t* colors_;
    unsigned count_;
    uint32_t keys_[CACHE];
    uint8_t indexes_[CACHE] = {};
};

#if defined(__SSE2__)
const bool STREAMS = true;
#else
const bool STREAMS = false;
#endif

// Four colours at out in one store; with stream (out then 16-byte aligned) past the caches: a
// new picture is larger than they are, and a whole line written needs no read first.
template <bool Stream>
void StoreFour(uint8_t* out, const uint32_t colors[4]) {
#if defined(__SSE2__)
    if (Stream) {
        _mm_stream_si128(
            reinterpret_cast<__m128i*>(out),
            _mm_set_epi32(int(colors[3]), int(colors[2]), int(colors[1]), int(colors[0])));
        return;
    }
#endif
    for (unsigned k = 0; k < 4; ++k)
        Put32(out + 4 * k, colors[k]);
}

// Writes the colours of pixels [0, n) to out: four(i, colors) gives those of i to i + 3, one(i)
// that of i alone. Streamed stores start at the first 16-byte boundary.
template <bool Stream, class Four, class One>
void PutColors(uint8_t* out, size_t n, Four four, One one) {
    size_t i = 0;
    for (; Stream && i < n && reinterpret_cast<uintptr_t>(out + 4 * i) % 16 != 0; ++i)
        Put32(out + 4 * i, one(i));
    for (; i + 4 <= n; i += 4) {
        uint32_t colors[4];
        four(i, colors);
        StoreFour<Stream>(out + 4 * i, colors);
    }
    for (; i < n; ++i)
        Put32(out + 4 * i, one(i));
}

// Reads n pixels of a row as colours; Stream when out is the new picture.
template <bool Stream>
void Read8(const uint8_t* s, size_t n, const uint32_t* indexColors, uint8_t* out) {
    PutColors<Stream>(
        out, n,
        [&](size_t i, uint32_t* colors) {
            for (unsigned k = 0; k < 4; ++k)
                colors[k] = indexColors[s[i + k]];
        },
        [&](size_t i) { return indexColors[s[i]]; });
}

void Read16(const uint8_t* s, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned w = s[2 * i] | unsigned(s[2 * i + 1]) << 8;
        Put32(out + 4 * i,
              OPAQUE | Widen5((w >> 10) & 31) << 16 | Widen5((w >> 5) & 31) << 8 | Widen5(w & 31));
    }
}

template <bool Stream>
void Read24(const uint8_t* s, size_t n, uint8_t* out) {
    // Four pixels from three words.
    PutColors<Stream>(
        out, n,
        [&](size_t i, uint32_t* colors) {
            const uint32_t a = Get32(s + 3 * i), b = Get32(s + 3 * i + 4), c = Get32(s + 3 * i + 8);
            colors[0] = OPAQUE | a;
            colors[1] = OPAQUE | a >> 24 | b << 8;
            colors[2] = OPAQUE | b >> 16 | c << 16;
            colors[3] = OPAQUE | c >> 8;
        },
        [&](size_t i) {
            const uint8_t* p = s + 3 * i;
            return OPAQUE | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        });
}

// Writes n colours into a row.
void Write8(const uint8_t* in, size_t n, Nearest& nearest, uint8_t* d) {
    for (size_t i = 0; i < n; ++i)
        d[i] = nearest.Index(Get32(in + 4 * i));
}

void Write16(const uint8_t* in, size_t n, uint8_t* d) {
    for (size_t i = 0; i < n; ++i, in += 4) {
        const unsigned w = Narrow5(in[2]) << 10 | Narrow5(in[1]) << 5 | Narrow5(in[0]);
        d[2 * i] = uint8_t(w);
        d[2 * i + 1] = uint8_t(w >> 8);
    }
}

void Write24(const uint8_t* in, size_t n, uint8_t* d) {
    for (size_t i = 0; i < n; ++i, in += 4, d += 3) {
        d[0] = in[0];
        d[1] = in[1];
        d[2] = in[2];
    }
}

// The rows of one conversion and what its 8-bit sides need.
class Rows {
public:
    Rows(unsigned from, unsigned to)
        : from_(BytesOf(from)), to_(BytesOf(to)), stream_(STREAMS && to_ == 4) {}

    // False when memory runs out.
    bool Prepare(const ZEMPal* source, const ZEMPal* chosen, size_t width) {
        if (from_ == 1) {
            std::fill(indexColors_, indexColors_ + 256, OPAQUE);
            const unsigned n = std::min(source->nbColors, 256u);
            for (unsigned i = 0; i < n; ++i)
                indexColors_[i] = PaletteColor(source->colors + 4 * i);
        }
        if (to_ == 1) {
            nearest_.reset(new (std::nothrow) Nearest(*chosen));
            if (!nearest_) return false;
        }
        if (from_ != 4 && to_ != 4) {
            if (width > SIZE_MAX / 4) return false; // a 32-bit build's row of colours
            between_.reset(new (std::nothrow) uint8_t[width * 4]);
            if (!between_) return false;
        }
        return true;
    }

    void Convert(const uint8_t* s, uint8_t* d, size_t n) {
        Write(Read(s, n, to_ == 4 ? d : between_.get()), n, d);
    }

    // Orders the streamed stores before whatever comes next.
    void Finish() const {
#if defined(__SSE2__)
        if (stream_) _mm_sfence();
#endif
    }

private:
    // The colours of a source row: in place for 32 bits, else read into out.
    const uint8_t* Read(const uint8_t* s, size_t n, uint8_t* out) const {
        switch (from_) {
        case 1:
            if (stream_)
                Read8<true>(s, n, indexColors_, out);
            else
                Read8<false>(s, n, indexColors_, out);
            return out;
        case 2:
            Read16(s, n, out);
            return out;
        case 3:
            if (stream_)
                Read24<true>(s, n, out);
            else
                Read24<false>(s, n, out);
            return out;
        default:
            return s;
        }
    }

    void Write(const uint8_t* colors, size_t n, uint8_t* d) const {
        switch (to_) {
        case 1:
            return Write8(colors, n, *nearest_, d);
        case 2:
            return Write16(colors, n, d);
        case 3:
            return Write24(colors, n, d);
        default:
            if (colors != d) std::memcpy(d, colors, n * 4);
        }
    }

    unsigned from_, to_;
    bool stream_;
    uint32_t indexColors_[256];
    std::unique_ptr<Nearest> nearest_;
    std::unique_ptr<uint8_t[]> between_;
};

} // namespace

bool ZEMImage::ConvertTo(unsigned newBpp, const ZEMPal* target) {
    if (!IsDepth(newBpp) || !IsDepth(bpp)) return false;
    // 8-bit pixels are read with the own palette first, and written with the given one first.
    const ZEMPal* source = HasColors(palette) ? palette : target;
    const ZEMPal* chosen = target ? target : palette;
    const bool toIndexes = newBpp == 8;
    if (bpp == 8 && !HasColors(source)) return false;
    if (toIndexes && !HasColors(chosen)) return false;
    if (newBpp == bpp && (!toIndexes || chosen == palette)) return true;
    if (data && uint64_t(width) * BytesOf(bpp) > pitch) return false;

    std::unique_ptr<ZEMPal> kept;
    if (toIndexes && chosen != palette) {
        kept.reset(new (std::nothrow) ZEMPal(chosen));
        if (!kept || kept->nbColors != chosen->nbColors) return false;
    }
    if (data) {
        // The new pixels are made in a picture of their own, which takes the old ones away.
        ZEMImage converted(width, height, newBpp);
        Rows rows(bpp, newBpp);
        if (!converted.data || !rows.Prepare(source, chosen, width)) return false;
        for (uint32_t y = 0; y < height; ++y)
            rows.Convert(data + size_t(y) * pitch, converted.data + size_t(y) * converted.pitch,
                         width);
        rows.Finish();
        std::swap(data, converted.data);
        std::swap(pitch, converted.pitch);
    }
    bpp = uint16_t(newBpp);
    if (!toIndexes) {
        delete palette;
        palette = nullptr;
    } else if (kept) {
        ReplacePalette(kept.release());
    }
    return true;
}
