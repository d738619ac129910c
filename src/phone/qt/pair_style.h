// Pair style: the fonts and colours the pairing window shares between its views.
#pragma once

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QPalette>

namespace brimwick::pair_style {

// Text styles in pixels, sized like the usual desktop text styles of the same names. The code
// digits stay 28 pixels, semibold; the desktop's sans fonts already give digits one width.
inline QFont font(double pixels, QFont::Weight weight = QFont::Normal) {
    QFont f = QApplication::font();
    f.setPixelSize(static_cast<int>(pixels));
    f.setWeight(weight);
    return f;
}
inline QFont headline() {
    return font(14, QFont::DemiBold);
}
inline QFont caption() {
    return font(11);
}
inline QFont smallCaption() {
    return font(10);
}
inline QFont callout() {
    return font(12);
}
inline QFont title3() {
    return font(16, QFont::DemiBold);
}
inline QFont codeDigits() {
    QFont f = font(28, QFont::DemiBold);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

// Secondary text: the window's text colour, partly transparent.
inline QColor secondary(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.6f);
    return c;
}

}  // namespace brimwick::pair_style
