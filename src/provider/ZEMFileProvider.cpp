#include <zem/provider/ZEMFileProvider.h>

#include <zem/provider/ZEMFileUtils.h>

#include <utility>

namespace {

int Order(uint32_t a, uint32_t b) {
    return (a > b) - (a < b);
}

unsigned char Fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

int CompareNames(const char* a, const char* b, bool caseSensitive) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a ? a : "");
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b ? b : "");
    for (;; ++x, ++y) {
        unsigned char cx = caseSensitive ? *x : Fold(*x);
        unsigned char cy = caseSensitive ? *y : Fold(*y);
        if (cx != cy || !cx) return cx - cy;
    }
}

} // namespace

void ZEMFileProvider::Sort(int mode) {
    int n = static_cast<int>(NbFiles());
    for (int k = 0; k < n; ++k)
        GetItem(k)->sortIndex = k;
    sortKey = mode & 7;
    if (sortKey == SORT_NONE) return;
    sortDirsFirst = (mode & SORT_DIRS_FIRST) != 0;
    sortDescending = (mode & SORT_DESCENDING) != 0;
    sortCaseSensitive = (mode & SORT_CASE) != 0;
    Sort(0, n - 1);
}

// Pivot from the upper end, where the median of the first, middle and last items is put first:
// listings often come in order already (archives keep the order their files were added in), and
// a plain last-item pivot makes those quadratic. The smaller part is sorted by recursion and the
// larger one by the loop, so the stack stays shallow whatever the order.
void ZEMFileProvider::Sort(int lo, int hi) {
    auto slot = [this](int k) -> uint32_t& { return GetItem(k)->sortIndex; };
    auto item = [this, &slot](int k) { return GetItem(slot(k)); };
    auto order = [this, &slot, &item](int a, int b) {
        if (CompareFunc(item(b), item(a)) < 0) std::swap(slot(a), slot(b));
    };
    while (hi > lo) {
        if (hi - lo > 1) {
            const int mid = lo + (hi - lo) / 2;
            order(lo, mid);
            order(lo, hi);
            order(hi, mid);
        }
        const ZEMSortableItem* pivot = item(hi);
        int i = lo;
        int j = hi;
        for (;;) {
            --j;
            while (CompareFunc(item(i), pivot) < 0)
                ++i;
            while (j > 0 && CompareFunc(item(j), pivot) > 0)
                --j;
            if (i >= j) break;
            std::swap(slot(i), slot(j));
            ++i;
        }
        std::swap(slot(i), slot(hi));
        if (i - lo < hi - i) {
            Sort(lo, i - 1);
            lo = i + 1;
        } else {
            Sort(i + 1, hi);
            hi = i - 1;
        }
    }
}

int ZEMFileProvider::CompareFields(const char* nameA, uint32_t sizeA, uint32_t dateA,
                                   const char* nameB, uint32_t sizeB, uint32_t dateB) const {
    int r = 0;
    if (sortKey == SORT_SIZE) {
        r = Order(sizeA, sizeB);
    } else if (sortKey == SORT_DATE) {
        r = Order(dateA, dateB);
    } else if (sortKey == SORT_EXT) {
        const char* extA = ZEMFileUtils::FileExtension(nameA);
        const char* extB = ZEMFileUtils::FileExtension(nameB);
        if (!extA || !extB) {
            r = (extB ? 0 : 1) - (extA ? 0 : 1);
        } else {
            r = CompareNames(extA, extB, sortCaseSensitive);
        }
    }
    if (r == 0) r = CompareNames(nameA, nameB, sortCaseSensitive);
    return sortDescending ? -r : r;
}
