#include "core/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace brimwick {
namespace {

std::string hex(const Sha256Digest& digest) {
    std::string out;
    char two[3];
    for (auto byte : digest) {
        std::snprintf(two, sizeof two, "%02x", byte);
        out += two;
    }
    return out;
}

TEST(Sha256, KnownDigestsAcrossBlockBoundaries) {
    EXPECT_EQ(hex(sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(sha256("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits in the first block, so padding takes a second one.
    EXPECT_EQ(hex(sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Exactly one block of data, then a block of padding alone.
    EXPECT_EQ(hex(sha256(std::string(64, 'a'))),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
    EXPECT_EQ(hex(sha256(std::string(1'000'000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Bytes above 0x7f are taken unsigned.
    EXPECT_EQ(hex(sha256("\xff")),
              "a8100ae6aa1940d0b663bb31cd466142ebbdbd5187131b92d93818987832eb89");
}

TEST(Sha256, Base64PadsToWholeGroups) {
    EXPECT_EQ(base64(std::string_view("")), "");
    EXPECT_EQ(base64(std::string_view("f")), "Zg==");
    EXPECT_EQ(base64(std::string_view("fo")), "Zm8=");
    EXPECT_EQ(base64(std::string_view("foo")), "Zm9v");
    EXPECT_EQ(base64(std::string_view("foob")), "Zm9vYg==");
    EXPECT_EQ(base64(std::string_view("\xfb\xff\xbf", 3)), "+/+/");
    // The form a Content-Security-Policy hash takes.
    EXPECT_EQ(base64(sha256("abc")), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
}

}  // namespace
}  // namespace brimwick
