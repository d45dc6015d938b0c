#include <gtest/gtest.h>

#include <random>

#include "mail/core/Base64.h"

using namespace vlm::mail;

TEST(Base64, KnownValuesAndRoundTrip) {
    const char* const cases[][2] = {{"", ""},
                                    {"f", "Zg=="},
                                    {"fo", "Zm8="},
                                    {"foo", "Zm9v"},
                                    {"foob", "Zm9vYg=="},
                                    {"fooba", "Zm9vYmE="},
                                    {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        EXPECT_EQ(Base64Encode(std::string(c[0])), c[1]);
        std::string back;
        ASSERT_TRUE(Base64Decode(c[1], back));
        EXPECT_EQ(back, c[0]);
    }
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    std::string back;
    ASSERT_TRUE(Base64Decode(Base64Encode(all), back));
    EXPECT_EQ(back, all);
}

TEST(Base64, DecoderRefusesBrokenText) {
    std::string out;
    EXPECT_FALSE(Base64Decode("Zm9v!", out));
    EXPECT_FALSE(Base64Decode("Zg=", out)) << "fill missing";
    EXPECT_FALSE(Base64Decode("Zg==Zg==", out)) << "data after the fill";
    EXPECT_FALSE(Base64Decode("Zh==", out)) << "stray bits in the last group";
    EXPECT_FALSE(Base64Decode("A =", out)) << "one character holds no byte";
    EXPECT_FALSE(Base64Decode("Zm9vY===", out));
    EXPECT_TRUE(Base64Decode("Zm9v\r\nYmFy", out));
    EXPECT_EQ(out, "foobar");
}

// Fed in pieces of any size, the writer gives the one-shot encoding broken
// into lines of 76 characters.
TEST(Base64, LineWriterMatchesOneShotForAnyChunking) {
    std::mt19937 rng(7);
    for (size_t size : {0u, 1u, 56u, 57u, 58u, 570u, 1000u, 4099u}) {
        std::string data(size, '\0');
        for (auto& c : data)
            c = char(rng());
        std::string expected;
        const std::string flat = Base64Encode(data);
        for (size_t i = 0; i < flat.size(); i += 76)
            expected += flat.substr(i, 76) + "\r\n";
        for (size_t chunk : {1u, 2u, 7u, 570u, 5000u}) {
            CBase64LineWriter w;
            std::string out;
            for (size_t i = 0; i < size; i += chunk)
                w.Put(data.data() + i, std::min(chunk, size - i), out);
            w.Finish(out);
            EXPECT_EQ(out, expected) << size << " in pieces of " << chunk;
        }
    }
}
