// What the pairing window shows for each state of a real phone link, and the QR matrix.
#include "phone/pair_content.h"

#include "phone/phone_fixture.h"
#include "phone/qr_code.h"

namespace brimwick {
namespace {

using Block = PairContent::Block;

TEST(PairContentTest, EachStateOfTheLink) {
    testing::PairingLink fixture;
    auto link = fixture.make(false);
    EXPECT_EQ(PairContent::of(*link),
              (PairContent{.block = Block::linkOff,
                           .placeholder = "Turn on Connect phone over Wi\u2011Fi in the tray menu "
                                          "first."}));

    fixture.address.reset();
    link->setEnabled(true);
    ASSERT_TRUE(fixture.queue.runUntil([&] { return link->status().starts_with("Listening"); }));
    const std::string listening = link->status();
    EXPECT_EQ(PairContent::of(*link),
              (PairContent{.block = Block::noAddress,
                           .code = "012345",
                           .placeholder = "No Wi\u2011Fi or Ethernet address found. Connect "
                                          "this computer to a network.",
                           .newCodeEnabled = true,
                           .status = listening}));

    // Back on a network, a new code re-reads the address and the QR code returns.
    fixture.address = "10.0.0.7";
    link->newCode();
    const auto port = std::to_string(link->port());
    EXPECT_EQ(PairContent::of(*link),
              (PairContent{
                  .block = Block::qrCode,
                  .pairingURL = *link->pairingURL(),
                  .code = "234567",
                  .codeDigits = "234 567",
                  .addressLine = "10.0.0.7:" + port,
                  .browserLine = "Or open http://10.0.0.7:" + port + "/app in your phone's browser",
                  .newCodeEnabled = true,
                  .status = listening}));

    fixture.burnCodes(*link, 4);
    auto paused = PairContent::of(*link);
    EXPECT_EQ(paused.block, Block::noAddress);
    EXPECT_EQ(paused.code, "");
    EXPECT_EQ(paused.status,
              "Pairing paused after repeated wrong codes. Choose \u201cPair a phone\u201d for a "
              "new code.");
    EXPECT_TRUE(paused.newCodeEnabled);

    // A paired phone brings the success view; behind it is already the next code.
    link->newCode();
    fixture.codes = {"012345"};
    fixture.pairPhone(*link, "Zoë's Pixel");
    auto content = PairContent::of(*link);
    EXPECT_EQ(content.pairedDevice, "Zoë's Pixel");
    EXPECT_EQ(pair_text::connected(*content.pairedDevice), "Zoë's Pixel is connected");
    EXPECT_EQ(content.codeDigits, "012 345");  // a leading zero is kept
    fixture.queue.advance(Pairing::kJustPairedTime);
    EXPECT_FALSE(PairContent::of(*link).pairedDevice);
}

TEST(PairContentTest, AHostNameTooLongForAnyCodeLeavesTheNetworkMessage) {
    testing::PairingLink fixture;
    fixture.hostName = std::string(2400, 'M');
    auto link = fixture.make(true);
    ASSERT_TRUE(link->pairingURL());
    EXPECT_EQ(PairContent::of(*link).block, Block::noAddress);
}

TEST(QrMatrixTest, LevelMAtTheSmallestVersionWithFinderPatternsInThreeCorners) {
    // Version 1 (21 modules) holds 14 bytes at level M (17 at level L); one more needs version 2.
    const auto fourteen = qr_code::matrix(std::string(14, 'a'));
    ASSERT_TRUE(fourteen);
    EXPECT_EQ(fourteen->size, 21);
    EXPECT_EQ(fourteen->dark.size(), 21u * 21u);
    EXPECT_EQ(qr_code::matrix(std::string(15, 'a'))->size, 25);
    // Version 40 at level M holds 2331 bytes.
    EXPECT_TRUE(qr_code::matrix(std::string(2331, 'x')));
    EXPECT_FALSE(qr_code::matrix(std::string(2332, 'x')));
    EXPECT_FALSE(qr_code::matrix(""));

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

}  // namespace
}  // namespace brimwick
