#include "mascot/qt/glow_blur.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

double totalAlpha(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) sum += image.pixelColor(x, y).alphaF();
    }
    return sum;
}

TEST(GlowBlurTest, SpreadsSymmetricallyAndKeepsTheAmountOfInk) {
    for (QImage::Format format : {QImage::Format_Alpha8, QImage::Format_ARGB32_Premultiplied}) {
        QImage image(41, 41, format);
        image.fill(Qt::transparent);
        for (int y = 18; y <= 22; ++y) {
            for (int x = 18; x <= 22; ++x) image.setPixelColor(x, y, QColor(0, 0, 0, 255));
        }
        const double before = totalAlpha(image);
        blurImage(image, 3);
        EXPECT_NEAR(totalAlpha(image), before, before * 0.03);
        const double centre = image.pixelColor(20, 20).alphaF();
        EXPECT_LT(centre, 0.9);
        EXPECT_NEAR(image.pixelColor(26, 20).alphaF(), image.pixelColor(14, 20).alphaF(), 0.01);
        EXPECT_NEAR(image.pixelColor(20, 26).alphaF(), image.pixelColor(26, 20).alphaF(), 0.01);
        EXPECT_GT(image.pixelColor(26, 20).alphaF(), 0.02);
        EXPECT_LT(image.pixelColor(26, 20).alphaF(), centre);
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);  // beyond the reach of the blur
    }
}

TEST(GlowBlurTest, TinyRadiiAndEmptyImagesAreLeftAlone) {
    QImage image(5, 5, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setPixelColor(2, 2, QColor(255, 0, 0, 255));
    const QImage copy = image;
    blurImage(image, 0.3);
    EXPECT_EQ(image, copy);
    QImage empty;
    blurImage(empty, 4);
    EXPECT_TRUE(empty.isNull());
    QImage rgb(4, 4, QImage::Format_RGB32);  // converted, then blurred
    rgb.fill(Qt::white);
    blurImage(rgb, 2);
    EXPECT_EQ(rgb.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_LT(rgb.pixelColor(0, 0).alphaF(), 1.0);  // the transparent outside bleeds in
}

}  // namespace
}  // namespace brimwick
