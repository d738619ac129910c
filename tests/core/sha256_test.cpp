#include "core/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace brimwick {
namespace {

TEST(Sha256, KnownDigestsAcrossBlockBoundariesAndBase64) {
    const std::pair<std::string, const char*> rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits in the first block, so padding takes a second one.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // Exactly one block of data, then a block of padding alone.
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1'000'000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Bytes above 0x7f are taken unsigned.
        {"\xff", "a8100ae6aa1940d0b663bb31cd466142ebbdbd5187131b92d93818987832eb89"}};
    for (const auto& [text, digest] : rows) {
        std::string hex;
        for (const auto byte : sha256(text))
            hex += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
        EXPECT_EQ(hex, digest) << text.substr(0, 60);
    }
    const std::pair<std::string_view, const char*> base64Rows[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string_view("\xfb\xff\xbf", 3), "+/+/"}};
    for (const auto& [bytes, encoded] : base64Rows) EXPECT_EQ(base64(bytes), encoded) << bytes;
    // The form a Content-Security-Policy hash takes.
    EXPECT_EQ(base64(sha256("abc")), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
}

}  // namespace
}  // namespace brimwick
