#ifndef ZEM_CORE_ZEMBISECT_H
#define ZEM_CORE_ZEMBISECT_H

#include <cstdint>

namespace ZEM {

// Bisection of a table of count entries sorted by key. order(i) compares the key sought with the
// key of entry i: below 0 when it sorts before, 0 when equal. True with the entry's index when
// found; else false with the index at which the key would be inserted to keep the order.
template <class Order>
bool Bisect(uint32_t count, Order order, unsigned& index) {
    int64_t low = 0;
    int64_t high = int64_t(count) - 1;
    while (low <= high) {
        const int64_t mid = (low + high) / 2;
        const int sign = order(uint32_t(mid));
        if (sign == 0) {
            index = unsigned(mid);
            return true;
        }
        if (sign < 0) {
            high = mid - 1;
        } else {
            low = mid + 1;
        }
    }
    index = unsigned(low);
    return false;
}

} // namespace ZEM

#endif
