#include "ZEMTestSupport.h"

#include <zem/provider.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

struct Item : ZEMSortableItem {
    std::string name;
    uint32_t size = 0;
    uint32_t date = 0;
    bool dir = false;
};

// A listing held in memory, compared the way the directory provider compares: directories first
// when asked, then the shared rule.
class ListProvider : public ZEMFileProvider {
public:
    explicit ListProvider(std::vector<Item> items) : items_(std::move(items)) {}

    bool Open(const char*) override { return false; }
    const char* Name() const override { return nullptr; }
    unsigned NbFiles() const override { return unsigned(items_.size()); }
    ZEMResFile* OpenFile(const char*) const override { return nullptr; }
    ZEMResFile* OpenFile(const iterator&) const override { return nullptr; }
    bool CopyFile(const char*, const char*) const override { return false; }
    void PrintInfo() const override {}
    const char* FileName(unsigned i) const override { return items_[i].name.c_str(); }
    unsigned FileSize(unsigned i) const override { return items_[i].size; }
    unsigned long FileDate(unsigned i) const override { return items_[i].date; }
    bool FileAccess(unsigned, unsigned) const override { return true; }
    bool IsFileHidden(unsigned) const override { return false; }
    bool IsFile(unsigned i) const override { return !items_[i].dir; }
    bool IsFileLink(unsigned) const override { return false; }
    bool IsFileDir(unsigned i) const override { return items_[i].dir; }
    ZEMSortableItem* GetItem(unsigned i) const override { return const_cast<Item*>(&items_[i]); }
    int CompareFunc(const ZEMSortableItem* a, const ZEMSortableItem* b) const override {
        ++compares;
        const Item& x = *static_cast<const Item*>(a);
        const Item& y = *static_cast<const Item*>(b);
        if (sortDirsFirst && x.dir != y.dir) return x.dir ? -1 : 1;
        return CompareFields(x.name.c_str(), x.size, x.date, y.name.c_str(), y.size, y.date);
    }

    bool Descending() const { return sortDescending; }

    mutable unsigned long compares = 0;

    // Names in sorted order.
    std::vector<std::string> Sorted() const {
        std::vector<std::string> names;
        for (unsigned k = 0; k < NbFiles(); ++k)
            names.push_back(items_[GetItem(k)->sortIndex].name);
        return names;
    }

private:
    std::vector<Item> items_;
};

Item Named(const std::string& name, uint32_t size = 0, uint32_t date = 0, bool dir = false) {
    Item item;
    item.name = name;
    item.size = size;
    item.date = date;
    item.dir = dir;
    item.sortIndex = 99;
    return item;
}

using Names = std::vector<std::string>;

} // namespace

TEST(FileProviderTest, EmptyAndSingleListings) {
    ListProvider empty({});
    empty.Sort(ZEMFileProvider::SORT_NAME);
    EXPECT_TRUE(empty.Sorted().empty());
    ListProvider one({Named("x")});
    one.Sort(ZEMFileProvider::SORT_SIZE);
    EXPECT_EQ(one.GetItem(0)->sortIndex, 0u);
}

TEST(FileProviderTest, SortNoneResetsThePermutationAndKeepsTheFlags) {
    ListProvider list({Named("a", 1), Named("b", 3), Named("c", 2)});
    list.Sort(ZEMFileProvider::SORT_SIZE | ZEMFileProvider::SORT_DESCENDING);
    EXPECT_EQ(list.Sorted(), (Names{"b", "c", "a"}));
    list.Sort(ZEMFileProvider::SORT_NONE);
    for (unsigned k = 0; k < 3; ++k)
        EXPECT_EQ(list.GetItem(k)->sortIndex, k);
    EXPECT_TRUE(list.Descending());
}

TEST(FileProviderTest, NamesFoldCaseUnlessAsked) {
    ListProvider list({Named("b"), Named("B"), Named("a")});
    list.Sort(ZEMFileProvider::SORT_NAME | ZEMFileProvider::SORT_CASE);
    EXPECT_EQ(list.Sorted(), (Names{"B", "a", "b"}));
    list.Sort(ZEMFileProvider::SORT_NAME);
    EXPECT_EQ(list.Sorted()[0], "a");
    // Keys 5 to 7 compare like names, and bit 0x08 is ignored.
    list.Sort(7 | 0x08 | ZEMFileProvider::SORT_CASE);
    EXPECT_EQ(list.Sorted(), (Names{"B", "a", "b"}));
    // Bytes above 127 compare by value, after every ASCII letter.
    ListProvider high({Named("\xe9t\xe9"), Named("Zoo"), Named("abc")});
    high.Sort(ZEMFileProvider::SORT_NAME);
    EXPECT_EQ(high.Sorted(), (Names{"abc", "Zoo", "\xe9t\xe9"}));
}

TEST(FileProviderTest, ExtensionsThenNames) {
    ListProvider list(
        {Named("b.txt"), Named("a.txt"), Named("z.bmp"), Named("README"), Named(".profile")});
    list.Sort(ZEMFileProvider::SORT_EXT);
    Names sorted = list.Sorted();
    EXPECT_EQ(Names(sorted.begin() + 2, sorted.end()), (Names{"z.bmp", "a.txt", "b.txt"}));
    // The two names without an extension tie, then compare by name (case folded).
    EXPECT_EQ(Names(sorted.begin(), sorted.begin() + 2), (Names{".profile", "README"}));

    // Extensions fold case like names do, unless asked; descending puts names without one last.
    ListProvider cased({Named("b.TXT"), Named("a.txt"), Named("c.Bmp"), Named("README")});
    cased.Sort(ZEMFileProvider::SORT_EXT);
    EXPECT_EQ(cased.Sorted(), (Names{"README", "c.Bmp", "a.txt", "b.TXT"}));
    cased.Sort(ZEMFileProvider::SORT_EXT | ZEMFileProvider::SORT_CASE);
    EXPECT_EQ(cased.Sorted(), (Names{"README", "c.Bmp", "b.TXT", "a.txt"}));
    cased.Sort(ZEMFileProvider::SORT_EXT | ZEMFileProvider::SORT_DESCENDING);
    EXPECT_EQ(cased.Sorted(), (Names{"b.TXT", "a.txt", "c.Bmp", "README"}));
}

TEST(FileProviderTest, SizesAndDatesCompareAsValuesThenByName) {
    ListProvider list({Named("d", 5), Named("a", 5), Named("big", 0xFFFFFFF0u), Named("zero", 0),
                       Named("c", 0x80000001u)});
    list.Sort(ZEMFileProvider::SORT_SIZE);
    // Values more than 2^31 apart keep their order.
    EXPECT_EQ(list.Sorted(), (Names{"zero", "a", "d", "c", "big"}));
    list.Sort(ZEMFileProvider::SORT_SIZE | ZEMFileProvider::SORT_DESCENDING);
    EXPECT_EQ(list.Sorted(), (Names{"big", "c", "d", "a", "zero"}));

    ListProvider dates({Named("new", 0, 0xF0000000u), Named("old", 0, 10), Named("mid", 0, 10)});
    dates.Sort(ZEMFileProvider::SORT_DATE);
    EXPECT_EQ(dates.Sorted(), (Names{"mid", "old", "new"}));
}

TEST(FileProviderTest, DirectoriesFirstStayFirstWhenDescending) {
    ListProvider list(
        {Named("b"), Named("dirA", 0, 0, true), Named("a"), Named("dirB", 0, 0, true), Named("c")});
    list.Sort(ZEMFileProvider::SORT_DIRS_FIRST | ZEMFileProvider::SORT_NAME |
              ZEMFileProvider::SORT_DESCENDING);
    EXPECT_EQ(list.Sorted(), (Names{"dirB", "dirA", "c", "b", "a"}));
}

// The quicksort on the permutation must give a true order on any input, duplicates included.
TEST(FileProviderTest, RandomListingsComeOutOrdered) {
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::vector<Item> items;
        unsigned n = random() % 200;
        for (unsigned i = 0; i < n; ++i) {
            items.push_back(Named(std::string(1, char('a' + random() % 5)) +
                                      std::string(1, char('A' + random() % 3)),
                                  random() % 4, random(), random() % 4 == 0));
        }
        ListProvider list(items);
        int mode = int(random() % 5) | (random() % 2 ? ZEMFileProvider::SORT_DESCENDING : 0) |
                   (random() % 2 ? ZEMFileProvider::SORT_CASE : 0) |
                   (random() % 2 ? ZEMFileProvider::SORT_DIRS_FIRST : 0);
        list.Sort(mode);
        std::vector<bool> seen(n, false);
        for (unsigned k = 0; k < n; ++k) {
            unsigned index = list.GetItem(k)->sortIndex;
            ASSERT_LT(index, n);
            EXPECT_FALSE(seen[index]);
            seen[index] = true;
            if (k > 0 && (mode & 7) != 0) {
                const ZEMSortableItem* before = list.GetItem(list.GetItem(k - 1)->sortIndex);
                EXPECT_LE(list.CompareFunc(before, list.GetItem(index)), 0) << "mode " << mode;
            }
        }
    }
}

// Archives list their members in the order they were added, often already sorted: such listings
// must not make the sort quadratic (nor its recursion as deep as the listing is long).
TEST(FileProviderTest, OrderedListingsSortInFewComparisons) {
    const unsigned n = 5000;
    std::vector<Item> ascending, descending, equal;
    char name[16];
    for (unsigned i = 0; i < n; ++i) {
        std::snprintf(name, sizeof name, "f%05u", i);
        ascending.push_back(Named(name, i));
        std::snprintf(name, sizeof name, "f%05u", n - i);
        descending.push_back(Named(name, n - i));
        equal.push_back(Named("same", 7));
    }
    for (const auto& items : {ascending, descending, equal}) {
        for (int mode : {int(ZEMFileProvider::SORT_NAME),
                         ZEMFileProvider::SORT_SIZE | ZEMFileProvider::SORT_DESCENDING}) {
            ListProvider list(items);
            list.Sort(mode);
            EXPECT_LT(list.compares, 40ul * n) << "mode " << mode;
            for (unsigned k = 1; k < n; ++k) {
                const ZEMSortableItem* before = list.GetItem(list.GetItem(k - 1)->sortIndex);
                ASSERT_LE(list.CompareFunc(before, list.GetItem(list.GetItem(k)->sortIndex)), 0);
            }
        }
    }
}

TEST(FileProviderTest, IteratorDesignatesAStorageIndex) {
    ZEMFileProvider::iterator it(3);
    EXPECT_EQ(it.Index(), 3u);
    ++it;
    EXPECT_EQ(it.Index(), 4u);
    EXPECT_TRUE(it == ZEMFileProvider::iterator(4));
}
