#include "mascot/qt/brand_mark.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

TEST(TamselMarkTest, DrawsTheCellAndTheLetterAtAnySize) {
    EXPECT_EQ(TamselMark::accessibleName(), "TAMSEL");
    for (double side : {22.0, 64.0, 200.0}) {
        const QImage image = TamselMark::markImage(side, Qt::black, 2);
        ASSERT_EQ(image.width(), int(std::ceil(side * 2))) << side;
        auto alphaAt = [&](double x, double y) {  // design units
            return image.pixelColor(int(x / 100 * side * 2), int(y / 100 * side * 2)).alphaF();
        };
        EXPECT_GT(alphaAt(50, 55), 0.9) << side;               // the letter's stem
        EXPECT_GT(alphaAt(50, 34), 0.9) << side;               // its bar
        EXPECT_GT(alphaAt(50 + 42 * 0.866, 50), 0.9) << side;  // the cell's right wall
        EXPECT_LT(alphaAt(30, 55), 0.1) << side;               // the gap between them
        EXPECT_LT(alphaAt(2, 2), 0.1) << side;                 // outside the cell
    }
    EXPECT_TRUE(TamselMark::markImage(0).isNull());
}

TEST(TamselMarkTest, PathsStayInsideTheDesignSquare) {
    const QRectF square(0, 0, TamselMark::kDesignSide, TamselMark::kDesignSide);
    EXPECT_TRUE(square.contains(TamselMark::cellPath().boundingRect()));
    EXPECT_TRUE(square.contains(TamselMark::letterPath().boundingRect()));
    // The letter sits in the cell's hole, touching the ring nowhere.
    EXPECT_FALSE(TamselMark::cellPath().intersects(TamselMark::letterPath()));
}

}  // namespace
}  // namespace brimwick
