#include <gtest/gtest.h>

#include "mail/core/Md5.h"
#include "mail/core/SmtpClient.h"

using namespace vlm::mail;

TEST(Md5, Rfc1321TestSuite) {
    const char* const cases[][2] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToHex(Md5(c[0])), c[1]) << c[0];
    // Fed in pieces across block boundaries.
    const std::string text(1000, 'x');
    for (size_t step : {1u, 63u, 64u, 65u}) {
        CMd5 md5;
        for (size_t i = 0; i < text.size(); i += step)
            md5.Update(text.data() + i, std::min(step, text.size() - i));
        EXPECT_EQ(ToHex(md5.Final()), ToHex(Md5(text))) << step;
    }
}

TEST(Md5, HmacRfc2104AndCramMd5Rfc2195) {
    EXPECT_EQ(ToHex(HmacMd5(std::string(16, '\x0b'), "Hi There")),
              "9294727a3638bb1c13f48ef8158bfc9d");
    EXPECT_EQ(ToHex(HmacMd5("Jefe", "what do ya want for nothing?")),
              "750c783e6ab0b503eaa86e310a5db738");
    EXPECT_EQ(ToHex(HmacMd5(std::string(16, '\xAA'), std::string(50, '\xDD'))),
              "56be34521d144c88dbb8c733f0e8b3f6");
    // A key longer than the block is hashed first (RFC 2202 case 6).
    EXPECT_EQ(ToHex(HmacMd5(std::string(80, '\xAA'),
                            "Test Using Larger Than Block-Size Key - Hash Key First")),
              "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
    EXPECT_EQ(
        CramMd5Answer("tim", "tanstaaftanstaaf", "<1896.697170952@postoffice.reston.mci.net>"),
        "tim b913a602c7eda7a495b4e6e7334d3890");
}
