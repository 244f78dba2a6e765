#include "log/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace nomvera::log {
namespace {

struct DigestCase {
    const char* input;
    const char* digest;
};

class Md5TestSuite : public ::testing::TestWithParam<DigestCase> {};

// The test suite of RFC 1321, appendix A.5.
INSTANTIATE_TEST_SUITE_P(
    Rfc1321, Md5TestSuite,
    ::testing::Values(DigestCase{"", "d41d8cd98f00b204e9800998ecf8427e"},
                      DigestCase{"a", "0cc175b9c0f1b6a831c399e269772661"},
                      DigestCase{"abc", "900150983cd24fb0d6963f7d28e17f72"},
                      DigestCase{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
                      DigestCase{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
                      DigestCase{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                                 "d174ab98d277d9f5a5611c2c9f419d9f"},
                      DigestCase{
                          "1234567890123456789012345678901234567890123456789012345678901234567890"
                          "1234567890",
                          "57edf4a22be3c955ac49da2e2107b67a"}));

TEST_P(Md5TestSuite, GivesTheDigestOfTheReference) {
    EXPECT_EQ(Md5Hex(GetParam().input), GetParam().digest);
}

TEST(Md5, PiecewiseUpdatesGiveTheDigestOfTheWhole) {
    // Pieces that straddle the 64-byte blocks and the 56-byte padding edge.
    std::string data;
    for (int i = 0; i < 1000; ++i) {
        data += static_cast<char>('a' + i % 26);
    }
    for (std::size_t split : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 128u, 999u}) {
        TMd5 md5;
        md5.Update(data.data(), split);
        md5.Update(data.data() + split, data.size() - split);
        EXPECT_EQ(md5.Finish(), Md5Of(data)) << "split at " << split;
    }
}

TEST(Md5, HexIsLowerCaseHighNibbleFirst) {
    const TMd5Digest digest = Md5Of("abc");
    EXPECT_EQ(digest[0], 0x90);
    EXPECT_EQ(digest[15], 0x72);
    EXPECT_EQ(Md5Hex("abc").substr(0, 2), "90");
}

} // namespace
} // namespace nomvera::log
