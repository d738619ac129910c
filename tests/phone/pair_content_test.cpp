#include "phone/pair_content.h"

#include <gtest/gtest.h>

#include "phone/pairing_link_fixture.h"
#include "phone/qr_code.h"

namespace brimwick {
namespace {

using Block = PairContent::Block;

class PairContentTest : public ::testing::Test {
  protected:
    testing::PairingLink fixture;
};

TEST_F(PairContentTest, LinkOffExplainsWhereToSwitchItOn) {
    auto link = fixture.make(false);
    const auto content = PairContent::of(*link);
    EXPECT_EQ(content.block, Block::linkOff);
    EXPECT_EQ(content.placeholder, "Turn on Connect phone over Wi\u2011Fi in the tray menu first.");
    EXPECT_FALSE(content.newCodeEnabled);
    EXPECT_EQ(content.pairingURL, "");
    EXPECT_FALSE(content.addressLine);
    EXPECT_FALSE(content.pairedDevice);
}

TEST_F(PairContentTest, OnWithoutAnAddressAsksForANetwork) {
    fixture.address.reset();
    auto link = fixture.make(true);
    const auto content = PairContent::of(*link);
    EXPECT_EQ(content.block, Block::noAddress);
    EXPECT_EQ(content.placeholder,
              "No Wi\u2011Fi or Ethernet address found. Connect this computer to a network.");
    EXPECT_TRUE(content.newCodeEnabled);
    EXPECT_TRUE(content.status.starts_with("Listening on port "));

    // Back on a network, a new code re-reads the address and the QR code returns.
    fixture.address = "10.0.0.7";
    link->newCode();
    EXPECT_EQ(PairContent::of(*link).block, Block::qrCode);
}

TEST_F(PairContentTest, OnWithCodeAndAddressShowsTheQrCodeAndHowToReachTheMac) {
    auto link = fixture.make(true);
    const auto content = PairContent::of(*link);
    const auto port = std::to_string(link->port());
    EXPECT_EQ(content.block, Block::qrCode);
    EXPECT_EQ(content.pairingURL, *link->pairingURL());
    EXPECT_EQ(content.code, "012345");
    EXPECT_EQ(content.codeDigits, "012 345");  // leading zero kept
    EXPECT_EQ(content.addressLine, "192.168.1.20:" + port);
    EXPECT_EQ(content.browserLine,
              "Or open http://192.168.1.20:" + port + "/app in your phone's browser");
    EXPECT_EQ(content.placeholder, "");
    EXPECT_TRUE(content.newCodeEnabled);
}

TEST_F(PairContentTest, PausedAfterFourBurnsShowsTheNetworkMessageAndThePauseStatus) {
    auto link = fixture.make(true);
    fixture.burnCodes(*link, 4);
    const auto content = PairContent::of(*link);
    EXPECT_EQ(content.block, Block::noAddress);
    EXPECT_EQ(content.code, "");
    EXPECT_EQ(content.status,
              "Pairing paused after repeated wrong codes. Choose \u201cPair a phone\u201d for a "
              "new code.");
    EXPECT_TRUE(content.newCodeEnabled);
}

TEST_F(PairContentTest, APairedPhoneBringsTheSuccessViewUntilTheLinkClearsIt) {
    auto link = fixture.make(true);
    fixture.pairPhone(*link, "Zoë's Pixel");
    auto content = PairContent::of(*link);
    EXPECT_EQ(content.pairedDevice, "Zoë's Pixel");
    EXPECT_EQ(pair_text::connected(*content.pairedDevice), "Zoë's Pixel is connected");
    // Behind it the pairing content already carries the next code.
    EXPECT_EQ(content.code, "234567");
    fixture.queue.advance(Pairing::kJustPairedTime);
    EXPECT_FALSE(PairContent::of(*link).pairedDevice);
}

TEST(QrMatrixTest, UsesLevelMAtTheSmallestVersionThatFits) {
    // Version 1 (21 modules) holds 14 bytes at level M (17 at level L); one more needs version 2.
    const auto fourteen = qr_code::matrix(std::string(14, 'a'));
    const auto fifteen = qr_code::matrix(std::string(15, 'a'));
    ASSERT_TRUE(fourteen && fifteen);
    EXPECT_EQ(fourteen->size, 21);
    EXPECT_EQ(fifteen->size, 25);
    EXPECT_EQ(fourteen->dark.size(), 21u * 21u);
}

TEST(QrMatrixTest, HasItsFinderPatternsInThreeCorners) {
    const auto m = qr_code::matrix("brimwick://pair?host=192.168.1.20&port=47822&code=012345");
    ASSERT_TRUE(m);
    const int last = m->size - 1;
    for (const auto& [x, y] : {std::pair{0, 0}, {last - 6, 0}, {0, last - 6}}) {
        EXPECT_TRUE(m->isDark(x, y) && m->isDark(x + 6, y + 6) && m->isDark(x + 3, y + 3));
        EXPECT_FALSE(m->isDark(x + 1, y + 1));  // the light ring inside the dark border
    }
    EXPECT_FALSE(m->isDark(last, last) && m->isDark(last - 6, last - 6) &&
                 m->isDark(last - 3, last - 3) && !m->isDark(last - 1, last - 1));
}

TEST(QrMatrixTest, GivesNothingForEmptyOrOversizedTexts) {
    EXPECT_FALSE(qr_code::matrix(""));
    // Version 40 at level M holds 2331 bytes.
    EXPECT_TRUE(qr_code::matrix(std::string(2331, 'x')));
    EXPECT_FALSE(qr_code::matrix(std::string(2332, 'x')));
}

TEST(QrMatrixTest, AHostNameTooLongForAnyCodeLeavesTheNetworkMessage) {
    testing::PairingLink fixture;
    fixture.hostName = std::string(2400, 'M');
    auto link = fixture.make(true);
    ASSERT_TRUE(link->pairingURL());
    EXPECT_EQ(PairContent::of(*link).block, PairContent::Block::noAddress);
}

}  // namespace
}  // namespace brimwick
