#include "app/qt/tamsel_footer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

#include "app/brand.h"
#include "mascot/qt/brand_mark.h"

namespace brimwick {
namespace {

constexpr int kMarkSide = 12;
constexpr double kMakerKerning = 1.2;

// The caption size: a step below the menu's own text.
QFont captionFont(const QFont& base) {
    QFont font(base);
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 0.85);
    } else {
        font.setPixelSize(qMax(8, font.pixelSize() * 85 / 100));
    }
    return font;
}

}  // namespace

TamselFooter::TamselFooter(QWidget* parent) : QWidget(parent) {
    const QFont caption = captionFont(font());
    QPalette secondary = palette();
    QColor ink = secondary.color(QPalette::WindowText);
    ink.setAlphaF(0.6);
    secondary.setColor(QPalette::WindowText, ink);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 6, 14, 6);
    row->setSpacing(0);

    auto* site = new QWidget;
    site->setAccessibleName(QStringLiteral("by %1").arg(QString::fromUtf8(brand::kMaker)));
    auto* siteRow = new QHBoxLayout(site);
    siteRow->setContentsMargins(0, 0, 0, 0);
    siteRow->setSpacing(0);

    const double ratio = devicePixelRatioF();
    auto* mark = new QLabel;
    mark->setPixmap(
        QPixmap::fromImage(TamselMark::markImage(kMarkSide, ink, ratio > 0 ? ratio : 1)));
    mark->setFixedSize(kMarkSide, kMarkSide);
    mark->setAccessibleName(TamselMark::accessibleName());
    auto* by = new QLabel(QStringLiteral("by "));
    QFont maker = caption;
    maker.setBold(true);
    maker.setLetterSpacing(QFont::AbsoluteSpacing, kMakerKerning);
    auto* name = new QLabel(QString::fromUtf8(brand::kMaker));
    name->setFont(maker);
    siteRow->addWidget(mark);
    siteRow->addSpacing(4);
    for (QLabel* label : {by, name}) {
        if (label == by) label->setFont(caption);
        label->setPalette(secondary);
    }
    siteRow->addWidget(by);
    siteRow->addWidget(name);
    row->addWidget(site, 0, Qt::AlignVCenter);
    row->addStretch(1);

    auto* about = new QLabel(
        QStringLiteral("<a href=\"about\">About %1</a>").arg(QString::fromUtf8(brand::kAppName)));
    about->setFont(caption);
    about->setTextFormat(Qt::RichText);
    about->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    about->setCursor(Qt::PointingHandCursor);
    connect(about, &QLabel::linkActivated, this, [this] {
        if (onAbout) onAbout();
    });
    row->addWidget(about, 0, Qt::AlignVCenter);

    about_ = about;
    // Stretches with the menu's width, no taller than its content.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

}  // namespace brimwick
