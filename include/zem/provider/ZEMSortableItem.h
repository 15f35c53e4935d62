#ifndef ZEM_PROVIDER_ZEMSORTABLEITEM_H
#define ZEM_PROVIDER_ZEMSORTABLEITEM_H

#include <cstdint>

// The base of every listing item: the slot into which a provider's Sort writes its permutation.
struct ZEMSortableItem {
    // After a sort, the storage index of the item that stands at the sorted position equal to
    // this item's own storage index.
    uint32_t sortIndex = 0;
};

#endif
