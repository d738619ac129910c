#include "app/qt/app_icon.h"

#include <gtest/gtest.h>

#include <QFile>

namespace brimwick {
namespace {

TEST(AppIconTest, CommittedSvgIsTheCurrentDrawing) {
    QFile file(QStringLiteral(BRIMWICK_SOURCE_DIR "/data/icons/brimwick.svg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // Regenerate with: brimwick_icons --svg data/icons/brimwick.svg
    EXPECT_EQ(QString::fromUtf8(file.readAll()), appIconSvg());
}

TEST(AppIconTest, DarkCellLightInsideDarkLetterClearCorners) {
    const QImage icon = appIconImage(100);
    ASSERT_EQ(icon.size(), QSize(100, 100));
    EXPECT_EQ(qAlpha(icon.pixel(2, 2)), 0);  // outside the hexagon
    EXPECT_EQ(qAlpha(icon.pixel(97, 97)), 0);
    EXPECT_LT(qGray(icon.pixel(50, 8)), 80);    // the cell ring, near the top corner
    EXPECT_GT(qGray(icon.pixel(30, 60)), 200);  // inside, left of the stem
    EXPECT_LT(qGray(icon.pixel(50, 60)), 80);   // the stem of the letter
    EXPECT_EQ(qAlpha(icon.pixel(50, 60)), 255);
    EXPECT_TRUE(appIconImage(0).isNull());
}

}  // namespace
}  // namespace brimwick
