// Our TWAIN structures have the platform's sizes and offsets (2-byte
// packing, pointer-sized handles on Win64).
#include "contracts/vlmtwain.h"

#include <gtest/gtest.h>

#include <cstddef>

#define VLM_EOJ EOJ
#define VLM_SIZE(T, n) static_assert(sizeof(T) == n, #T " size");
#define VLM_OFFSET(T, f, n) static_assert(offsetof(T, f) == n, #T "." #f " offset");
#include "layout_fields.inc"
#undef VLM_SIZE
#undef VLM_OFFSET

extern const size_t g_wineLayout[];
extern const size_t g_wineLayoutCount;

namespace {
#define VLM_SIZE(T, n) {#T, sizeof(T)},
#define VLM_OFFSET(T, f, n) {#T "." #f, offsetof(T, f)},
struct Entry {
    const char* m_pszName;
    size_t m_nValue;
};
const Entry kOurs[] = {
#include "layout_fields.inc"
};
#undef VLM_SIZE
#undef VLM_OFFSET

TEST(TwainLayout, EveryFieldMatchesThePlatformHeader) {
    ASSERT_EQ(sizeof(kOurs) / sizeof(kOurs[0]), g_wineLayoutCount);
    for (size_t i = 0; i < g_wineLayoutCount; ++i)
        EXPECT_EQ(kOurs[i].m_nValue, g_wineLayout[i]) << kOurs[i].m_pszName;
}

TEST(TwainLayout, VendorRecordsCarryWholeAddresses) {
    EXPECT_EQ(sizeof(VendorOpRecord), 32u);
    EXPECT_EQ(offsetof(VendorOpRecord, Arg1), 16u);
    EXPECT_EQ(offsetof(VendorOpRecord, Arg2), 24u);
    EXPECT_EQ(sizeof(TW_ONEVALUE_ADDRESS), 10u);
    EXPECT_EQ(sizeof(TW_IDENTITY), 156u);
}

// The platform's header predates the 64-bit interface and keeps a 32-bit
// TW_INFO.Item, where a handle does not fit: only the fields up to Item are
// compared with it; the sizes are the 64-bit interface's.
TEST(TwainLayout, ExtendedImageInformationItemsArePointerSized) {
    EXPECT_EQ(sizeof(TW_INFO::Item), sizeof(void*));
    EXPECT_EQ(sizeof(TW_INFO), 16u);
    EXPECT_EQ(sizeof(TW_EXTIMAGEINFO), 20u);
}
} // namespace
