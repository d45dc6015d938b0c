// Reading the capability containers a source hands back: the current item
// and the value lists, never past the container's real size. Each container
// is a heap block of exactly its size, so a read beyond it is a sanitizer
// report.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "TwainLogic.h"

using namespace vlmscan;

namespace {

// A container of exactly n bytes, filled by the caller.
struct SBlock {
    explicit SBlock(size_t n) : p(new uint8_t[n]()), cb(n) {}
    template <class T> T* As() { return reinterpret_cast<T*>(p.get()); }
    std::unique_ptr<uint8_t[]> p;
    size_t cb;
};

SBlock Enumeration(uint16_t itemType, uint32_t numItems, uint32_t current, size_t itemsHeld) {
    SBlock b(offsetof(TW_ENUMERATION, ItemList) + itemsHeld * TwainItemSize(itemType));
    TW_ENUMERATION* e = b.As<TW_ENUMERATION>();
    e->ItemType = itemType;
    e->NumItems = numItems;
    e->CurrentIndex = current;
    for (size_t i = 0; i < itemsHeld && itemType == TWTY_UINT16; ++i) {
        const uint16_t v = static_cast<uint16_t>(100 * (i + 1));
        memcpy(b.p.get() + offsetof(TW_ENUMERATION, ItemList) + 2 * i, &v, 2);
    }
    return b;
}

TEST(CapContainer, OneValueIsReadWhenItFits) {
    SBlock one(sizeof(TW_ONEVALUE));
    one.As<TW_ONEVALUE>()->ItemType = TWTY_UINT16;
    one.As<TW_ONEVALUE>()->Item = 300;
    uint16_t v = 0;
    ASSERT_TRUE(ReadCurrentItem(one.p.get(), one.cb, TWON_ONEVALUE, TWTY_UINT16, &v));
    EXPECT_EQ(v, 300);
    // A string follows the item type: 34 bytes that a 6-byte block lacks.
    char name[40] = {};
    EXPECT_FALSE(ReadCurrentItem(one.p.get(), one.cb, TWON_ONEVALUE, TWTY_STR32, name));
    SBlock text(2 + 34);
    memcpy(text.p.get() + 2, "Dither", 7);
    ASSERT_TRUE(ReadCurrentItem(text.p.get(), text.cb, TWON_ONEVALUE, TWTY_STR32, name));
    EXPECT_STREQ(name, "Dither");
    // Unknown item or container types read nothing.
    EXPECT_FALSE(ReadCurrentItem(one.p.get(), one.cb, TWON_ONEVALUE, 0x77, &v));
    EXPECT_FALSE(ReadCurrentItem(one.p.get(), one.cb, 0x77, TWTY_UINT16, &v));
    EXPECT_FALSE(ReadCurrentItem(one.p.get(), 1, TWON_ONEVALUE, TWTY_UINT16, &v));
}

TEST(CapContainer, EnumerationCurrentItemMustLieInsideTheBlock) {
    uint16_t v = 0;
    SBlock whole = Enumeration(TWTY_UINT16, 3, 2, 3);
    ASSERT_TRUE(ReadCurrentItem(whole.p.get(), whole.cb, TWON_ENUMERATION, TWTY_UINT16, &v));
    EXPECT_EQ(v, 300);
    // Claims ten items, holds two: the current one (index 5) is not there.
    SBlock lying = Enumeration(TWTY_UINT16, 10, 5, 2);
    EXPECT_FALSE(ReadCurrentItem(lying.p.get(), lying.cb, TWON_ENUMERATION, TWTY_UINT16, &v));
    SBlock pastEnd = Enumeration(TWTY_UINT16, 3, 3, 3);
    EXPECT_FALSE(ReadCurrentItem(pastEnd.p.get(), pastEnd.cb, TWON_ENUMERATION, TWTY_UINT16, &v));
    EXPECT_FALSE(ReadCurrentItem(whole.p.get(), 4, TWON_ENUMERATION, TWTY_UINT16, &v));
}

TEST(CapContainer, RangeNeedsTheWholeRecord) {
    SBlock r(sizeof(TW_RANGE));
    r.As<TW_RANGE>()->ItemType = TWTY_UINT32;
    r.As<TW_RANGE>()->MinValue = 100;
    r.As<TW_RANGE>()->MaxValue = 600;
    r.As<TW_RANGE>()->CurrentValue = 200;
    uint32_t v = 0;
    ASSERT_TRUE(ReadCurrentItem(r.p.get(), r.cb, TWON_RANGE, TWTY_UINT32, &v));
    EXPECT_EQ(v, 200u);
    EXPECT_FALSE(ReadCurrentItem(r.p.get(), r.cb - 1, TWON_RANGE, TWTY_UINT32, &v));
    SCapValues cv;
    ASSERT_EQ(ReadCapValues(r.p.get(), r.cb, TWON_RANGE, &cv), TWON_RANGE);
    EXPECT_EQ(cv.dMin, 100);
    EXPECT_EQ(cv.dMax, 600);
    EXPECT_EQ(ReadCapValues(r.p.get(), r.cb - 1, TWON_RANGE, &cv), 0);
}

TEST(CapContainer, ValueListsAreReadWholeOrNotAtAll) {
    SCapValues cv;
    SBlock e = Enumeration(TWTY_UINT16, 3, 1, 3);
    ASSERT_EQ(ReadCapValues(e.p.get(), e.cb, TWON_ENUMERATION, &cv), TWON_ENUMERATION);
    EXPECT_EQ(cv.Items, (std::vector<double>{100, 200, 300}));
    EXPECT_EQ(cv.nCurrentIndex, 1);
    SBlock lying = Enumeration(TWTY_UINT16, 1000, 0, 3);
    EXPECT_EQ(ReadCapValues(lying.p.get(), lying.cb, TWON_ENUMERATION, &cv), 0);
    EXPECT_TRUE(cv.Items.empty());
    // A one-value gives its value but is no list.
    SBlock one(sizeof(TW_ONEVALUE));
    one.As<TW_ONEVALUE>()->ItemType = TWTY_FIX32;
    one.As<TW_ONEVALUE>()->Item = PackFix32(ToFix32(72.25));
    EXPECT_EQ(ReadCapValues(one.p.get(), one.cb, TWON_ONEVALUE, &cv), 0);
    EXPECT_EQ(cv.nConType, TWON_ONEVALUE);
    EXPECT_DOUBLE_EQ(cv.dCurrent, 72.25);
}

} // namespace
