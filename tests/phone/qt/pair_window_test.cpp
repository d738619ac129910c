// The pairing window drawn offscreen: it shows what the pairing model says, and its QR image
// reads back, through a real scanner (zbarimg), as exactly the pairing address.
#include "phone/qt/pair_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "phone/phone_fixture.h"
#include "phone/qt/pair_view.h"
#include "phone/qt/paired_view.h"
#include "phone/qt/qr_code_image.h"

namespace brimwick {
namespace {

TEST(PairWindowTest, ShowsTheModelForEachStateAndComesBackTheSame) {
    testing::PairingLink fixture;
    auto link = fixture.make(false);
    PairWindow pairing(fixture.queue);
    EXPECT_EQ(pairing.window(), nullptr);
    pairing.show(*link);
    QWidget* window = pairing.window();
    ASSERT_NE(window, nullptr);
    const auto part = [&](const char* name) {
        return pairing.view()->findChild<QWidget*>(QString::fromLatin1(name));
    };
    const auto text = [&](const char* name) {
        return qobject_cast<QLabel*>(part(name))->text().toStdString();
    };
    const auto shown = [&](const char* name) { return part(name)->isVisibleTo(window); };
    auto* newCode = qobject_cast<QPushButton*>(part("newCode"));

    EXPECT_EQ(window->windowTitle().toStdString(), "Pair a phone");
    EXPECT_EQ(window->size(), QSize(340, 460));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((window->geometry().center() - centre).manhattanLength(), 10);
    EXPECT_EQ(text("headline"), "Scan with Brimwick on your phone");
    EXPECT_EQ(text("sameNetwork"), "Your phone must be on the same Wi\u2011Fi as this computer.");
    // Off: the explanation, no code to renew, and opening never switches the link on.
    EXPECT_TRUE(shown("placeholder"));
    EXPECT_FALSE(shown("qrCode"));
    EXPECT_EQ(text("placeholder"), PairContent::of(*link).placeholder);
    EXPECT_FALSE(newCode->isEnabled());
    EXPECT_EQ(link->pairing().code(), "");

    link->setEnabled(true);
    ASSERT_TRUE(fixture.queue.runUntil([&] { return link->status().starts_with("Listening"); }));
    pairing.view()->finishTransitions();
    const auto content = PairContent::of(*link);
    EXPECT_TRUE(shown("qrCode"));
    EXPECT_FALSE(shown("placeholder"));
    EXPECT_EQ(text("codeDigits"), content.codeDigits);
    EXPECT_EQ(text("address"), *content.addressLine);
    EXPECT_EQ(text("browserLink"), *content.browserLine);
    EXPECT_EQ(part("status")->toolTip().toStdString(), content.status);
    for (const char* name : {"codeDigits", "address", "browserLink"}) {
        EXPECT_TRUE(qobject_cast<QLabel*>(part(name))->textInteractionFlags() &
                    Qt::TextSelectableByMouse)
            << name;
    }
    newCode->click();
    EXPECT_EQ(text("codeDigits"), "234 567");

    // Opening while paused issues a fresh code.
    fixture.burnCodes(*link, 4);
    EXPECT_TRUE(shown("placeholder"));
    window->close();
    pairing.show(*link);
    EXPECT_EQ(link->pairing().burnedCodes(), 0);
    EXPECT_EQ(text("codeDigits"), Pairing::grouped(link->pairing().code()));
    EXPECT_TRUE(shown("qrCode"));

    // A pairing shows the success view, and the link closes the window 2.2 s later.
    link->pairing().closePairingWindow = [&] { pairing.close(); };
    fixture.pairPhone(*link, "Zoë's Pixel");
    EXPECT_EQ(static_cast<PairedView*>(part("paired"))->device(), "Zoë's Pixel");
    EXPECT_TRUE(shown("paired"));
    // Once its entrance has run, the view shows the mint badge.
    auto* paired = static_cast<PairedView*>(part("paired"));
    fixture.queue.advance(PairedView::kEntranceDelay + PairedView::kEntranceTime + 0.01);
    EXPECT_EQ(paired->drawn(), 1);
    paired->setPresentation(1, 1);  // where the window's cross-fade ends
    const QImage picture = paired->grab().toImage();
    int mint = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y), m = PairedView::mint();
            mint += std::abs(c.red() - m.red()) + std::abs(c.green() - m.green()) +
                        std::abs(c.blue() - m.blue()) <
                    30;
        }
    }
    EXPECT_GT(mint, 1000) << "the badge is missing";
    fixture.queue.advance(Pairing::kJustPairedTime);
    EXPECT_FALSE(window->isVisible());
    // The same window comes back with the pairing content.
    pairing.show(*link);
    EXPECT_EQ(pairing.window(), window);
    EXPECT_EQ(QApplication::topLevelWidgets().count(window), 1);
    EXPECT_TRUE(shown("content"));
    EXPECT_FALSE(shown("paired"));
    // A view outliving its link keeps what it showed.
    const auto digits = text("codeDigits");
    link.reset();
    newCode->click();
    EXPECT_EQ(text("codeDigits"), digits);
}

// What a scanner reads from the image, or nothing when it finds no code.
std::optional<std::string> scan(const QImage& image) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("code.png"));
    QProcess zbar;
    if (!image.save(file)) return std::nullopt;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), file});
    if (!zbar.waitForFinished(20000) || zbar.exitCode() != 0) return std::nullopt;
    return zbar.readAllStandardOutput().trimmed().toStdString();
}

TEST(PairWindowTest, TheDrawnCodeScansBackToExactlyThePairingUrl) {
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) {
        GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    }
    testing::PairingLink fixture;
    fixture.hostName = "Zoë's MacBook Pro – Büro";
    auto link = fixture.make(true);
    const auto url = link->pairingURL();
    ASSERT_TRUE(url);
    EXPECT_NE(url->find("&name=Zo%C3%AB%27s%20MacBook%20Pro%20%E2%80%93%20B%C3%BCro"),
              std::string::npos);
    EXPECT_EQ(scan(*qr_code::image(*url)), *url);
    EXPECT_FALSE(qr_code::image(""));
    // What the window draws is what a phone reads: the code as shown, scaled without smoothing.
    PairWindow pairing(fixture.queue);
    pairing.show(*link);
    pairing.view()->finishTransitions();
    auto* qr = pairing.view()->findChild<QWidget*>(QStringLiteral("qrCode"));
    EXPECT_EQ(scan(qr->grab().toImage()), *url);
}

}  // namespace
}  // namespace brimwick
