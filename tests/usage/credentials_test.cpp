// Claude Code's login record, decoded.
#include "usage/credentials.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

TEST(CredentialsParse, ReadsTokenAndMillisecondExpiry) {
    const auto parsed = Credentials::parse(
        R"({"claudeAiOauth":{"accessToken":"abc","expiresAt":1750000000123,"scopes":[]},"x":1})"
        "\n\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->accessToken, "abc");
    EXPECT_DOUBLE_EQ(*parsed->expiresAt, 1'750'000'000.123);
    EXPECT_EQ(Credentials::parse(R"({"claudeAiOauth":{"accessToken":"a","expiresAt":1.5e12}})")
                  ->expiresAt,
              1.5e9);
}

TEST(CredentialsParse, ExpiryThatIsNotANumberIsUnknown) {
    for (const char* expiry : {R"("1750000000000")", "null", "true", "{}"}) {
        const auto parsed = Credentials::parse(
            std::string(R"({"claudeAiOauth":{"accessToken":"abc","expiresAt":)") + expiry + "}}");
        ASSERT_TRUE(parsed) << expiry;
        EXPECT_EQ(parsed->expiresAt, std::nullopt) << expiry;
    }
    EXPECT_EQ(Credentials::parse(R"({"claudeAiOauth":{"accessToken":"abc"}})")->expiresAt,
              std::nullopt);
}

TEST(CredentialsParse, UnusableRecordsAreNoCredentials) {
    for (const char* bytes :
         {"", "   ", "not json", "[]", "\"abc\"", "{}", R"({"claudeAiOauth":null})",
          R"({"claudeAiOauth":"abc"})", R"({"claudeAiOauth":{}})",
          R"({"claudeAiOauth":{"accessToken":""}})", R"({"claudeAiOauth":{"accessToken":42}})",
          R"({"claudeAiOauth":{"accessToken":null}})", R"({"accessToken":"abc"})",
          R"({"claudeAiOauth":{"accessToken":"abc"}} trailing)",
          // would break out of the Authorization header line
          R"({"claudeAiOauth":{"accessToken":"abc\r\nX-Evil: 1"}})"}) {
        EXPECT_EQ(Credentials::parse(bytes), std::nullopt) << bytes;
    }
}

}  // namespace
}  // namespace brimwick
