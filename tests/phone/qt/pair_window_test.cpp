// The pairing window drawn offscreen: its QR image read back by a real scanner (zbarimg), the
// middle block for each state of the phone link, the success view and the window's life.
#include "phone/qt/pair_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

#include "phone/pair_content.h"
#include "phone/pairing_link_fixture.h"
#include "phone/qt/pair_view.h"
#include "phone/qt/paired_view.h"
#include "phone/qt/qr_code_image.h"

namespace brimwick {
namespace {

// What a scanner reads from the image, or nothing when it finds no code.
std::optional<std::string> scan(const QImage& image) {
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) return std::nullopt;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("code.png"));
    if (!image.save(file)) return std::nullopt;
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), file});
    if (!zbar.waitForFinished(20000) || zbar.exitCode() != 0) return std::nullopt;
    std::string out = zbar.readAllStandardOutput().toStdString();
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

bool haveScanner() {
    return !QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty();
}

class PairWindowTest : public ::testing::Test {
  protected:
    template <typename T = QWidget>
    T* part(const char* name) {
        return pairing.view()->findChild<T*>(QString::fromLatin1(name));
    }
    std::string text(const char* name) { return part<QLabel>(name)->text().toStdString(); }
    bool shown(const char* name) { return part(name)->isVisibleTo(pairing.window()); }

    testing::PairingLink fixture;
    PairWindow pairing{fixture.queue};
};

TEST(QrCodeImageTest, ScansBackToExactlyThePairingUrl) {
    if (!haveScanner()) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    testing::PairingLink fixture;
    fixture.hostName = "Zoë's MacBook Pro – Büro";
    auto link = fixture.make(true);
    const auto url = link->pairingURL();
    ASSERT_TRUE(url);
    EXPECT_NE(url->find("&name=Zo%C3%AB%27s%20MacBook%20Pro%20%E2%80%93%20B%C3%BCro"),
              std::string::npos);
    const auto image = qr_code::image(*url);
    ASSERT_TRUE(image);
    EXPECT_EQ(scan(*image), *url);
}

TEST(QrCodeImageTest, ModulesAreTenPixelSquaresInsideAWhiteQuietZone) {
    const auto m = qr_code::matrix("brimwick://pair?host=10.0.0.7&port=47822&code=012345&name=M");
    const auto image =
        qr_code::image("brimwick://pair?host=10.0.0.7&port=47822&code=012345&name=M");
    ASSERT_TRUE(m && image);
    const int side = (m->size + 2 * qr_code::kQuietZone) * 10;
    ASSERT_EQ(image->size(), QSize(side, side));
    const int quiet = qr_code::kQuietZone * 10;
    for (int i = 0; i < side; i += 3) {
        for (const QPoint p : {QPoint(i, 0), QPoint(i, quiet - 1), QPoint(0, i),
                               QPoint(side - 1, i), QPoint(i, side - 1)}) {
            ASSERT_EQ(qGray(image->pixel(p)), 255) << p.x() << "," << p.y();
        }
    }
    // Every pixel of a module has the module's colour: hard edges, nothing in between.
    for (int y = 0; y < m->size; ++y) {
        for (int x = 0; x < m->size; ++x) {
            const int expected = m->isDark(x, y) ? 0 : 255;
            for (const QPoint d : {QPoint(0, 0), QPoint(9, 0), QPoint(0, 9), QPoint(9, 9)}) {
                const QPoint p = QPoint(quiet + x * 10, quiet + y * 10) + d;
                ASSERT_EQ(qGray(image->pixel(p)), expected) << x << "," << y;
            }
        }
    }
    EXPECT_FALSE(qr_code::image(""));
}

TEST_F(PairWindowTest, LinkOffShowsWhereToSwitchItOnAndNoNewCode) {
    auto link = fixture.make(false);
    pairing.show(*link);
    EXPECT_TRUE(shown("placeholder"));
    EXPECT_FALSE(shown("qrCode"));
    EXPECT_FALSE(shown("codeDigits"));
    EXPECT_EQ(text("placeholder"), pair_text::kLinkOff);
    EXPECT_EQ(part("placeholder")->height(), 220);
    EXPECT_FALSE(part<QPushButton>("newCode")->isEnabled());
    EXPECT_EQ(text("headline"), "Scan with Brimwick on your phone");
    EXPECT_EQ(text("sameNetwork"), "Your phone must be on the same Wi\u2011Fi as this computer.");
    EXPECT_EQ(link->pairing().code(), "");  // opening never switches the link on
}

TEST_F(PairWindowTest, OnWithoutAnAddressShowsTheNetworkMessage) {
    fixture.address.reset();
    auto link = fixture.make(true);
    pairing.show(*link);
    EXPECT_TRUE(shown("placeholder"));
    EXPECT_FALSE(shown("qrCode"));
    EXPECT_EQ(text("placeholder"), pair_text::kNoAddress);
    EXPECT_TRUE(part<QPushButton>("newCode")->isEnabled());
    EXPECT_EQ(part<QLabel>("status")->toolTip().toStdString(), link->status());

    // "New code" re-reads the address, and the QR code appears.
    fixture.address = "10.0.0.7";
    part<QPushButton>("newCode")->click();
    EXPECT_TRUE(shown("qrCode"));
    EXPECT_EQ(text("address"), "10.0.0.7:" + std::to_string(link->port()));
}

TEST_F(PairWindowTest, OnWithCodeAndAddressShowsTheScannableCodeDigitsAndAddress) {
    auto link = fixture.make(true);
    pairing.show(*link);
    pairing.view()->finishTransitions();
    const auto port = std::to_string(link->port());
    EXPECT_TRUE(shown("qrCode"));
    EXPECT_FALSE(shown("placeholder"));
    EXPECT_EQ(part("qrCode")->size(), QSize(240, 240));
    EXPECT_EQ(text("codeDigits"), "012 345");
    EXPECT_EQ(text("address"), "192.168.1.20:" + port);
    EXPECT_EQ(text("browserLink"),
              "Or open http://192.168.1.20:" + port + "/app in your phone's browser");
    for (const char* name : {"codeDigits", "address", "browserLink"}) {
        EXPECT_TRUE(part<QLabel>(name)->textInteractionFlags() & Qt::TextSelectableByMouse) << name;
    }
    // Everything fits in the window.
    for (const char* name : {"headline", "qrCode", "browserLink", "newCode", "status"}) {
        const QRect box(part(name)->mapTo(pairing.window(), QPoint(0, 0)), part(name)->size());
        EXPECT_TRUE(pairing.window()->rect().contains(box)) << name;
    }

    // What the window draws is what a phone reads: the code as shown, scaled without smoothing.
    const QImage drawn = part("qrCode")->grab().toImage();
    EXPECT_EQ(qGray(drawn.pixel(2, 120)), 255);  // white card around the code
    if (haveScanner()) {
        EXPECT_EQ(scan(drawn), link->pairingURL());
    }

    // A new code replaces the image and the digits.
    fixture.queue.advance(1);
    part<QPushButton>("newCode")->click();
    EXPECT_EQ(text("codeDigits"), "234 567");
    // Half way through the 0.22 s cross-fade the two codes blend into greys.
    fixture.queue.advance(0.11);
    pairing.view()->step();
    const QImage blend = part("qrCode")->grab().toImage();
    int greys = 0;
    for (int y = 20; y < 220; y += 2) {
        for (int x = 20; x < 220; x += 2) greys += qGray(blend.pixel(x, y)) % 255 != 0;
    }
    EXPECT_GT(greys, 100);
    fixture.queue.advance(0.12);
    pairing.view()->step();
    if (haveScanner()) {
        EXPECT_EQ(scan(part("qrCode")->grab().toImage()), link->pairingURL());
    }
}

TEST_F(PairWindowTest, PausedAfterFourBurnsShowsTheNetworkMessageAndThePauseLine) {
    auto link = fixture.make(true);
    pairing.show(*link);
    fixture.burnCodes(*link, 4);
    EXPECT_TRUE(shown("placeholder"));
    EXPECT_EQ(text("placeholder"), pair_text::kNoAddress);
    const auto* status = part<QLabel>("status");
    EXPECT_EQ(status->toolTip().toStdString(), Pairing::kPaused);
    EXPECT_EQ(status->text().toStdString().substr(0, 14), "Pairing paused");
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width());

    // "New code" starts again from a fresh code with no burns.
    part<QPushButton>("newCode")->click();
    EXPECT_EQ(link->pairing().burnedCodes(), 0);
    EXPECT_EQ(text("codeDigits"), "567 890");
    EXPECT_TRUE(shown("qrCode"));
}

TEST_F(PairWindowTest, APairingShowsTheSuccessViewAndTheLinkClosesTheWindow) {
    auto link = fixture.make(true);
    link->pairing().closePairingWindow = [this] { pairing.close(); };
    pairing.show(*link);
    fixture.pairPhone(*link, "Zoë's Pixel");

    auto* paired = part<PairedView>("paired");
    EXPECT_EQ(paired->device(), "Zoë's Pixel");
    EXPECT_TRUE(paired->isVisible());
    EXPECT_EQ(paired->drawn(), 0);  // the entrance waits 0.08 s
    fixture.queue.advance(0.08 + 0.2);
    EXPECT_GT(paired->drawn(), 0.3);
    EXPECT_LT(paired->drawn(), 1);
    fixture.queue.advance(0.3);
    EXPECT_EQ(paired->drawn(), 1);
    pairing.view()->finishTransitions();
    EXPECT_FALSE(part("content")->isVisible());

    // The drawn badge: mint check mark in the middle of the view.
    const QImage frame = pairing.view()->grab().toImage();
    const QColor mint = PairedView::mint();
    const QPoint checkCorner(pairing.view()->width() / 2 - 57 + 50, 0);
    bool foundCheck = false;
    for (int y = 0; y < frame.height() && !foundCheck; ++y) {
        const QColor c = frame.pixelColor(checkCorner.x(), y);
        foundCheck = std::abs(c.red() - mint.red()) < 12 &&
                     std::abs(c.green() - mint.green()) < 12 &&
                     std::abs(c.blue() - mint.blue()) < 12;
    }
    EXPECT_TRUE(foundCheck);

    EXPECT_TRUE(pairing.window()->isVisible());
    fixture.queue.advance(1.63);  // 2.2 s after the pairing (0.58 s have passed)
    EXPECT_FALSE(pairing.window()->isVisible());
    EXPECT_FALSE(link->pairing().justPaired());

    // The next opening shows the pairing content with the code issued at pairing.
    pairing.show(*link);
    EXPECT_TRUE(part("content")->isVisible());
    EXPECT_FALSE(part("paired")->isVisible());
    EXPECT_EQ(text("codeDigits"), "234 567");
}

TEST_F(PairWindowTest, OpeningTwiceShowsTheSameWindow) {
    auto link = fixture.make(true);
    EXPECT_EQ(pairing.window(), nullptr);
    pairing.show(*link);
    QWidget* first = pairing.window();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle().toStdString(), "Pair a phone");
    EXPECT_EQ(first->size(), QSize(340, 460));
    EXPECT_EQ(first->minimumSize(), first->maximumSize());
    EXPECT_FALSE(first->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(first->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(first->isVisible());
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((first->geometry().center() - centre).manhattanLength(), 10);

    // Closing hides it; the same window comes back with its state.
    first->close();
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(pairing.window(), first);
    pairing.show(*link);
    pairing.show(*link);
    EXPECT_EQ(pairing.window(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(link->pairing().code(), "012345");  // a valid code is kept
    EXPECT_EQ(QApplication::topLevelWidgets().count(first), 1);
    pairing.close();
    pairing.close();
    EXPECT_FALSE(first->isVisible());
}

TEST_F(PairWindowTest, OpeningWhilePausedIssuesAFreshCode) {
    auto link = fixture.make(true);
    fixture.burnCodes(*link, 4);
    ASSERT_EQ(link->pairing().code(), "");
    pairing.show(*link);
    EXPECT_EQ(link->pairing().code(), "567890");
    EXPECT_EQ(link->pairing().burnedCodes(), 0);
    EXPECT_TRUE(shown("qrCode"));
    EXPECT_EQ(text("codeDigits"), "567 890");
}

TEST_F(PairWindowTest, AViewOutlivingItsLinkKeepsWhatItShowed) {
    auto link = fixture.make(true);
    pairing.show(*link);
    link.reset();
    part<QPushButton>("newCode")->click();  // nothing to ask: no crash, no change
    EXPECT_EQ(text("codeDigits"), "012 345");
}

}  // namespace
}  // namespace brimwick

namespace brimwick {
namespace {

// Not a check: writes pictures of the window to $BRIMWICK_PAIR_SHOTS to look at by hand.
TEST(PairWindowShots, WritesPicturesWhenAsked) {
    const QString dir = qEnvironmentVariable("BRIMWICK_PAIR_SHOTS");
    if (dir.isEmpty()) GTEST_SKIP() << "set BRIMWICK_PAIR_SHOTS to a folder to get pictures";
    QDir().mkpath(dir);
    testing::PairingLink fixture;
    fixture.hostName = "Zoë's MacBook Pro";
    auto link = fixture.make(true);
    PairWindow pairing(fixture.queue);
    pairing.show(*link);
    fixture.codes.insert(fixture.codes.end(), {"731902", "480215", "902114"});
    const auto save = [&](const char* name) {
        pairing.view()->step();
        pairing.window()->grab().save(dir + QStringLiteral("/") + QString::fromLatin1(name));
    };
    save("pair-content.png");
    fixture.burnCodes(*link, 4);
    save("pair-paused.png");
    fixture.address.reset();
    link->newCode();
    save("pair-offline.png");
    fixture.address = "192.168.1.20";
    link->newCode();
    pairing.view()->finishTransitions();
    fixture.pairPhone(*link, "Zoë's Pixel 8");
    fixture.queue.advance(0.2);
    save("pair-success-early.png");
    fixture.queue.advance(0.1);
    save("pair-success-mid.png");
    fixture.queue.advance(0.5);
    save("pair-success-end.png");
    link->setEnabled(false);
    fixture.queue.advance(3);
    pairing.show(*link);
    save("pair-off.png");
}

}  // namespace
}  // namespace brimwick
