#include "phone/qt/pair_view.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "phone/phone_link.h"
#include "phone/qt/pair_style.h"
#include "phone/qt/paired_view.h"
#include "phone/qt/qr_code_image.h"

namespace brimwick {

namespace {

constexpr int kPadding = 20;
constexpr int kSpacing = 14;
constexpr int kDigitsSpacing = 4;
constexpr int kPlaceholderHeight = 220;
constexpr double kQrCorner = 10;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

void setSecondary(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, pair_style::secondary(palette));
    widget->setPalette(palette);
}

QLabel* label(const char* name, const QFont& font, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(font);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

void makeSelectable(QLabel* l) {
    l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    l->setCursor(Qt::IBeamCursor);
}

}  // namespace

// The QR image on its white card. A new code fades the old image out and the new one in, each
// scaling between 0.97 and 1, ease-out over 0.22 s.
class PairView::QrCodeView final : public QWidget {
  public:
    QrCodeView(const Clock& clock, QWidget* parent) : QWidget(parent), clock_(clock) {
        setObjectName(QStringLiteral("qrCode"));
        setFixedSize(kQrSide + 2 * kQrPadding, kQrSide + 2 * kQrPadding);
    }

    // Shows the image for `code`; the same code again keeps the image.
    void setCode(const std::string& code, const std::string& url, bool animated) {
        if (code == code_ && url == url_) return;
        std::optional<QImage> next = qr_code::image(url);
        if (!next) return;  // the content only picks this block when an image exists
        previous_ = animated && !current_.isNull() ? current_ : QImage();
        current_ = *next;
        code_ = code;
        url_ = url;
        // Painted, so a screen reader learns from these what the picture holds.
        setAccessibleName(QStringLiteral("Pairing QR code"));
        setAccessibleDescription(QString::fromStdString(url));
        if (previous_.isNull()) {
            appear_.set(1);
        } else {
            appear_.set(0);
            appear_.animate(1, clock_.now(), EaseOut{kQrTransitionTime});
        }
        update();
    }

    bool isMoving() const { return appear_.isMoving(clock_.now()); }
    void finish() {
        appear_.set(1);
        previous_ = QImage();
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const double a = std::clamp(appear_.value(clock_.now()), 0.0, 1.0);
        if (a < 1 && !previous_.isNull()) paintCard(painter, previous_, 1 - a);
        if (a >= 1) previous_ = QImage();
        paintCard(painter, current_, a);
    }

  private:
    // One card at `shown` (0 … 1): opacity `shown`, scale between 0.97 and 1.
    void paintCard(QPainter& painter, const QImage& image, double shown) {
        if (shown <= 0 || image.isNull()) return;
        painter.save();
        const QPointF centre = QRectF(rect()).center();
        const double scale = kQrStartScale + (1 - kQrStartScale) * shown;
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-centre);
        painter.setOpacity(shown);
        QPainterPath card;
        card.addRoundedRect(QRectF(rect()), kQrCorner, kQrCorner);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(card, Qt::white);
        // Hard module edges: no smoothing when the large image is scaled down.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawImage(QRectF(kQrPadding, kQrPadding, kQrSide, kQrSide), image);
        painter.restore();
    }

    const Clock& clock_;
    std::string code_;
    std::string url_;
    QImage current_;
    QImage previous_;
    AnimatedValue appear_{1};
};

// One line of text cut with an ellipsis when it does not fit; the whole text is its tool tip.
class PairView::StatusLabel final : public QLabel {
  public:
    explicit StatusLabel(QWidget* parent) : QLabel(parent) {
        setObjectName(QStringLiteral("status"));
        setFont(pair_style::smallCaption());
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    void setFullText(const QString& text) {
        full_ = text;
        setToolTip(text);
        fit();
    }
    const QString& fullText() const { return full_; }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        fit();
    }

  private:
    void fit() { setText(fontMetrics().elidedText(full_, Qt::ElideRight, std::max(0, width()))); }

    QString full_;
};

PairView::PairView(PhoneLink& link, const Clock& clock, QWidget* parent)
    : QWidget(parent), clock_(clock) {
    pairing_ = new QWidget(this);
    pairing_->setObjectName(QStringLiteral("content"));
    pairingOpacity_ = new QGraphicsOpacityEffect(pairing_);
    pairingOpacity_->setOpacity(1);
    pairingOpacity_->setEnabled(false);  // only while fading: the effect renders off-screen
    pairing_->setGraphicsEffect(pairingOpacity_);

    auto* column = new QVBoxLayout(pairing_);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(kSpacing);
    column->addStretch(1);

    headline_ = label("headline", pair_style::headline(), pairing_);
    headline_->setText(QString::fromUtf8(pair_text::kHeadline));
    headline_->setWordWrap(true);
    column->addWidget(headline_);

    sameNetwork_ = label("sameNetwork", pair_style::caption(), pairing_);
    sameNetwork_->setText(QString::fromUtf8(pair_text::kSameNetwork));
    sameNetwork_->setWordWrap(true);
    setSecondary(sameNetwork_);
    column->addWidget(sameNetwork_);

    // The QR block: the image, then the digits, the address and the browser link.
    qrBlock_ = new QWidget(pairing_);
    auto* qrColumn = new QVBoxLayout(qrBlock_);
    qrColumn->setContentsMargins(0, 0, 0, 0);
    qrColumn->setSpacing(kSpacing);
    qr_ = new QrCodeView(clock_, qrBlock_);
    qrColumn->addWidget(qr_, 0, Qt::AlignHCenter);
    auto* digitsColumn = new QVBoxLayout;
    digitsColumn->setSpacing(kDigitsSpacing);
    codeDigits_ = label("codeDigits", pair_style::codeDigits(), qrBlock_);
    makeSelectable(codeDigits_);
    digitsColumn->addWidget(codeDigits_);
    address_ = label("address", pair_style::caption(), qrBlock_);
    makeSelectable(address_);
    setSecondary(address_);
    digitsColumn->addWidget(address_);
    browserLink_ = label("browserLink", pair_style::caption(), qrBlock_);
    makeSelectable(browserLink_);
    browserLink_->setWordWrap(true);
    setSecondary(browserLink_);
    digitsColumn->addWidget(browserLink_);
    qrColumn->addLayout(digitsColumn);
    column->addWidget(qrBlock_);

    placeholder_ = label("placeholder", pair_style::font(13), pairing_);
    placeholder_->setWordWrap(true);
    placeholder_->setFixedHeight(kPlaceholderHeight);
    column->addWidget(placeholder_);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    newCode_ = new QPushButton(QString::fromUtf8(pair_text::kNewCode), pairing_);
    newCode_->setObjectName(QStringLiteral("newCode"));
    connect(newCode_, &QPushButton::clicked, this, [this] {
        if (auto link = link_.lock()) link->newCode();
    });
    bottom->addWidget(newCode_);
    status_ = new StatusLabel(pairing_);
    setSecondary(status_);
    bottom->addWidget(status_, 1);
    column->addLayout(bottom);
    column->addStretch(1);

    paired_ = new PairedView(clock_, this);
    paired_->setPresentation(0, 1);
    paired_->hide();

    setLink(link);
}

PairView::~PairView() = default;

void PairView::setLink(PhoneLink& link) {
    link_ = link.weak_from_this();
    subscription_ = link.changed.connect([this] { refresh(); });
    refresh();
}

void PairView::refresh() {
    auto link = link_.lock();
    if (!link) return;
    apply(PairContent::of(*link));
}

bool PairView::animates() const {
    return isVisible();
}

void PairView::apply(const PairContent& next) {
    if (hasContent_ && next == content_) return;
    const bool animated = hasContent_ && animates();
    const bool wasPaired = hasContent_ && content_.pairedDevice.has_value();
    content_ = next;
    hasContent_ = true;

    // The pairing content.
    const bool qr = next.block == PairContent::Block::qrCode;
    qrBlock_->setVisible(qr);
    placeholder_->setVisible(!qr);
    if (qr) {
        qr_->setCode(next.code, next.pairingURL, animated);
        codeDigits_->setText(qs(next.codeDigits));
        address_->setVisible(next.addressLine.has_value());
        address_->setText(qs(next.addressLine.value_or("")));
        browserLink_->setVisible(next.browserLine.has_value());
        browserLink_->setText(qs(next.browserLine.value_or("")));
    } else {
        placeholder_->setText(qs(next.placeholder));
    }
    newCode_->setEnabled(next.newCodeEnabled);
    status_->setFullText(qs(next.status));
    // Lay the blocks out now rather than on the next event loop turn, so the frame drawn next
    // (and what a test grabs) already has the new block in place.
    pairing_->layout()->activate();

    // The success view, entering with a spring while the pairing content fades out.
    const bool paired = next.pairedDevice.has_value();
    if (paired) paired_->setDevice(*next.pairedDevice);
    if (paired != wasPaired || !animated) {
        const Instant now = clock_.now();
        if (paired && !wasPaired) {
            paired_->restartEntrance();
            pairedScale_.set(kSuccessStartScale);
        }
        if (!paired) pairedScale_.set(1);  // it leaves by fading only
        if (animated) {
            pairingVisible_.animate(paired ? 0 : 1, now, kSuccessSpring);
            pairedVisible_.animate(paired ? 1 : 0, now, kSuccessSpring);
            pairedScale_.animate(1, now, kSuccessSpring);
        } else {
            pairingVisible_.set(paired ? 0 : 1);
            pairedVisible_.set(paired ? 1 : 0);
            pairedScale_.set(1);
        }
    }
    applyTransition();
    startTicking();
}

void PairView::applyTransition() {
    const Instant now = clock_.now();
    const double pairing = std::clamp(pairingVisible_.value(now), 0.0, 1.0);
    const double paired = std::clamp(pairedVisible_.value(now), 0.0, 1.0);
    // A view on its way in counts as shown from the start, though it may still be transparent.
    pairing_->setVisible(pairing > 0 || pairingVisible_.target() > 0);
    pairingOpacity_->setEnabled(pairing < 1);
    pairingOpacity_->setOpacity(pairing);
    paired_->setVisible(paired > 0 || pairedVisible_.target() > 0);
    paired_->setPresentation(paired, pairedScale_.value(now));
    if (paired > 0) paired_->raise();
}

void PairView::startTicking() {
    if (timer_ == 0) timer_ = startTimer(16);
}

void PairView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_) return;
    step();
}

void PairView::step() {
    applyTransition();
    const Instant now = clock_.now();
    const bool moving = pairingVisible_.isMoving(now) || pairedVisible_.isMoving(now) ||
                        pairedScale_.isMoving(now) || qr_->isMoving();
    qr_->update();
    if (!moving && timer_ != 0) {
        killTimer(timer_);
        timer_ = 0;
    }
}

void PairView::finishTransitions() {
    pairingVisible_.set(pairingVisible_.target());
    pairedVisible_.set(pairedVisible_.target());
    pairedScale_.set(pairedScale_.target());
    qr_->finish();
    applyTransition();
}

void PairView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    pairing_->setGeometry(rect());
    paired_->setGeometry(rect());
}

}  // namespace brimwick
