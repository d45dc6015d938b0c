// The checks that stand between stored bytes and the spooler: a DEVNAMES or
// DEVMODE block is used only when its offsets and sizes lie inside it.
#include "common/JobPrinter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
// DEVNAMES header, then "drv\0", "Dev Name\0", "port\0".
std::vector<uint8_t> Names() {
    const char tail[] = "drv\0Dev Name\0port";
    std::vector<uint8_t> b(sizeof(DEVNAMES) + sizeof tail);
    auto* dn = reinterpret_cast<DEVNAMES*>(b.data());
    dn->wDriverOffset = sizeof(DEVNAMES);
    dn->wDeviceOffset = sizeof(DEVNAMES) + 4;
    dn->wOutputOffset = sizeof(DEVNAMES) + 13;
    std::memcpy(b.data() + sizeof(DEVNAMES), tail, sizeof tail);
    return b;
}
} // namespace

TEST(JobPrinter, DeviceNameComesFromAWellFormedDevNamesBlockOnly) {
    std::vector<uint8_t> b = Names();
    ASSERT_TRUE(IsDevNamesBlock(b));
    EXPECT_EQ(DevNamesDeviceName(b), "Dev Name");

    std::vector<uint8_t> outside = b;
    reinterpret_cast<DEVNAMES*>(outside.data())->wDeviceOffset = static_cast<WORD>(b.size());
    EXPECT_FALSE(IsDevNamesBlock(outside));
    EXPECT_EQ(DevNamesDeviceName(outside), "");

    std::vector<uint8_t> unterminated = b;
    unterminated.back() = 'x'; // the port name runs to the end
    EXPECT_FALSE(IsDevNamesBlock(unterminated));
    EXPECT_EQ(DevNamesDeviceName(std::vector<uint8_t>(b.begin(), b.begin() + 4)), "");
}

TEST(JobPrinter, DevModeBlockMustHoldItsSizeAndDriverBytes) {
    std::vector<uint8_t> b(sizeof(DEVMODEA) + 16);
    auto* dm = reinterpret_cast<DEVMODEA*>(b.data());
    dm->dmSize = sizeof(DEVMODEA);
    dm->dmDriverExtra = 16;
    EXPECT_TRUE(IsDevModeBlock(b));
    dm->dmDriverExtra = 17;
    EXPECT_FALSE(IsDevModeBlock(b));
    dm->dmDriverExtra = 0;
    dm->dmSize = 8; // shorter than its own fields
    EXPECT_FALSE(IsDevModeBlock(b));
}
