#include "editor/core/AddressList.h"

#include <gtest/gtest.h>

using namespace plover;

namespace {
std::string Addresses(size_t n) {
    std::vector<std::string> list;
    for (size_t i = 0; i < n; ++i)
        list.push_back("user" + std::to_string(i) + "@example.com");
    return JoinAddressList(list);
}
} // namespace

TEST(AddressList, SplitKeepsEmptyPiecesAndJoinGivesTheTextBack) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitAddressList("a@x.org,b@y.org"), (V{"a@x.org", "b@y.org"}));
    EXPECT_EQ(SplitAddressList("a@x.org,,b@y.org"), (V{"a@x.org", "", "b@y.org"}));
    EXPECT_EQ(SplitAddressList(","), (V{"", ""}));
    EXPECT_EQ(SplitAddressList("a@x.org,"), (V{"a@x.org", ""}));
    EXPECT_EQ(SplitAddressList(" a@x.org , b "), (V{" a@x.org ", " b "}));
    EXPECT_EQ(SplitAddressList("only@x.org"), (V{"only@x.org"}));
    EXPECT_TRUE(SplitAddressList("").empty());
    for (const char* text : {"a@x.org,b@y.org", "a@x.org,,b@y.org", ",", "a,", ",a", "x"})
        EXPECT_EQ(JoinAddressList(SplitAddressList(text)), text) << text;
    EXPECT_EQ(JoinAddressList({}), "");
}

TEST(AddressList, SixtyFourAddressesAreTheMost) {
    EXPECT_EQ(CountAddressSeparators(""), 0u);
    EXPECT_EQ(CountAddressSeparators("a,,b,"), 3u);
    EXPECT_FALSE(HasTooManyAddresses(Addresses(64))); // 63 separators
    EXPECT_TRUE(HasTooManyAddresses(Addresses(65)));
    EXPECT_TRUE(HasTooManyAddresses(std::string(64, ',')));
    EXPECT_FALSE(HasTooManyAddresses(std::string(63, ',')));
    EXPECT_EQ(SplitAddressList(Addresses(64)).size(), kMaxMailAddresses);
}

TEST(AddressList, OnlyTextWithMoreThanBlanksIsAdded) {
    EXPECT_FALSE(IsAddableAddress(""));
    EXPECT_FALSE(IsAddableAddress("   "));
    EXPECT_FALSE(IsAddableAddress(" \t "));
    EXPECT_TRUE(IsAddableAddress(" a "));
    EXPECT_TRUE(IsAddableAddress(","));
}
