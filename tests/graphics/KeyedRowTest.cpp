// The colour-key row copy: the wide path (SSE2 where the compiler targets it) gives the pixels of
// the plain one, at every row length around the 16-byte blocks, in both directions, on rows that
// overlap in one buffer, comparing whole pixels or through a mask.
#include "graphics/ZEMKeyedRow.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Runs both copies of n pixels of T from offset `from` to offset `to` of one buffer (distinct
// rows when they do not overlap) and compares the buffers. Every other source pixel is the key
// in the bits of the mask, anything in the others.
template <class T>
void ExpectSamePixels(size_t n, size_t from, size_t to, bool backward, T mask,
                      std::mt19937& random) {
    const T key = T(0x5A5A5A5Au & mask);
    std::vector<uint8_t> plain((n + 64) * sizeof(T) * 2);
    for (size_t i = 0; i < plain.size(); i += sizeof(T)) {
        const T pixel = random() % 2 ? T(key | (T(random()) & ~mask)) : T(random());
        std::memcpy(&plain[i], &pixel, sizeof(T));
    }
    std::vector<uint8_t> wide = plain;
    ZEM::Draw::KeyedRowPlain<T>(&plain[to * sizeof(T)], &plain[from * sizeof(T)], n, key, mask,
                                backward);
    ZEM::Draw::KeyedRow<T>(&wide[to * sizeof(T)], &wide[from * sizeof(T)], n, key, mask, backward);
    ASSERT_EQ(wide, plain) << sizeof(T) << " bytes, " << n << " pixels from " << from << " to "
                           << to << (backward ? " backward" : "") << ", mask " << unsigned(mask);
}

template <class T>
void ExpectSameRows(T colorBits) {
    std::mt19937 random(unsigned(sizeof(T)));
    for (T mask : {T(~T(0)), colorBits}) {
        for (size_t n = 0; n <= 70; ++n) {
            ExpectSamePixels<T>(n, 0, n + 64, false, mask, random); // separate rows
            ExpectSamePixels<T>(n, n + 64, 1, true, mask, random);
            for (size_t shift : {1, 3, 4, 7, 16, 17}) {
                // One buffer, the destination left of the source (forward) or right of it
                // (backward, as the image's copy does).
                ExpectSamePixels<T>(n, 20 + shift, 20, false, mask, random);
                ExpectSamePixels<T>(n, 20, 20 + shift, true, mask, random);
            }
        }
    }
}

} // namespace

TEST(KeyedRowTest, WidePathGivesThePlainPixels) {
    ExpectSameRows<uint8_t>(0xFF);
    ExpectSameRows<uint16_t>(0x7FFF);
    ExpectSameRows<uint32_t>(0x00FFFFFF);
}
