#include "app/qt/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "app/brand.h"
#include "app/qt/app_icon.h"
#include "mascot/qt/brand_mark.h"

namespace brimwick {
namespace {

constexpr int kIconSide = 64;
constexpr int kCreditsMarkSide = 22;
constexpr int kCreditsPixels = 11;
constexpr double kMakerKerning = 1.5;

QFont creditsFont(const QFont& base, bool bold = false) {
    QFont font(base);
    font.setPixelSize(kCreditsPixels);
    font.setBold(bold);
    return font;
}

QLabel* centred(QLabel* label) {
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

}  // namespace

QWidget* makeCredits(QWidget* parent) {
    auto* credits = new QWidget(parent);
    auto* column = new QVBoxLayout(credits);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);  // the paragraph spacing

    const QColor label = credits->palette().color(QPalette::WindowText);
    QColor secondary = label;
    secondary.setAlphaF(0.6);
    const double ratio = credits->devicePixelRatioF() > 0 ? credits->devicePixelRatioF() : 1;

    auto* mark = centred(new QLabel);
    mark->setPixmap(QPixmap::fromImage(TamselMark::markImage(kCreditsMarkSide, label, ratio)));
    mark->setAccessibleName(TamselMark::accessibleName());
    column->addWidget(mark);

    auto* madeByRow = new QHBoxLayout;
    madeByRow->setSpacing(0);
    auto* madeBy = new QLabel(QStringLiteral("Made by "));
    madeBy->setFont(creditsFont(credits->font()));
    QPalette secondaryPalette = madeBy->palette();
    secondaryPalette.setColor(QPalette::WindowText, secondary);
    madeBy->setPalette(secondaryPalette);
    auto* maker = new QLabel(QString::fromUtf8(brand::kMaker));
    QFont makerFont = creditsFont(credits->font(), true);
    makerFont.setLetterSpacing(QFont::AbsoluteSpacing, kMakerKerning);
    maker->setFont(makerFont);
    madeByRow->addStretch(1);
    madeByRow->addWidget(madeBy);
    madeByRow->addWidget(maker);
    madeByRow->addStretch(1);
    column->addLayout(madeByRow);
    return credits;
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const QString appName = QString::fromUtf8(brand::kAppName);
    setWindowTitle(QStringLiteral("About %1").arg(appName));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(28, 20, 28, 16);
    column->setSpacing(6);

    const double ratio = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1;
    QImage iconImage = appIconImage(qRound(kIconSide * ratio));
    iconImage.setDevicePixelRatio(ratio);
    auto* icon = centred(new QLabel);
    icon->setPixmap(QPixmap::fromImage(iconImage));
    column->addWidget(icon);

    name_ = centred(new QLabel(appName));
    QFont nameFont = font();
    nameFont.setBold(true);
    if (nameFont.pointSizeF() > 0) nameFont.setPointSizeF(nameFont.pointSizeF() * 1.3);
    name_->setFont(nameFont);
    column->addWidget(name_);

    version_ =
        centred(new QLabel(QStringLiteral("Version %1").arg(QStringLiteral(BRIMWICK_VERSION))));
    column->addWidget(version_);
    column->addSpacing(8);

    credits_ = makeCredits(this);
    credits_->setMinimumWidth(220);
    column->addWidget(credits_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setCenterButtons(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    column->addSpacing(6);
    column->addWidget(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace brimwick
