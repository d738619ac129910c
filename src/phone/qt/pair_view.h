// PairView: the pairing window's content — the QR code with the code digits and the address,
// or an explanation when there is nothing to scan, a "New code" button and the link's status —
// switching to the success view while a phone has just paired.
#pragma once

#include <QWidget>
#include <memory>

#include "core/clock.h"
#include "core/signal.h"
#include "island/animated_value.h"
#include "phone/pair_content.h"

class QGraphicsOpacityEffect;
class QLabel;
class QPushButton;

namespace brimwick {

class PairedView;
class PhoneLink;

// GUI thread only. Follows the link's `changed` signal and holds the link weakly, so a link
// that is gone leaves the view as it was. Transitions run on `clock` (which must outlive the
// view) and only while the view is visible; a hidden view jumps to its new state.
//
// Child widgets carry object names for tests and tools: "headline", "sameNetwork", "qrCode",
// "codeDigits", "address", "browserLink", "placeholder", "newCode", "status", "content" and
// "paired" (the PairedView).
class PairView final : public QWidget {
  public:
    PairView(PhoneLink& link, const Clock& clock, QWidget* parent = nullptr);
    ~PairView() override;

    // Follows another link from now on.
    void setLink(PhoneLink& link);

    // What the view shows (or is moving to) for the link's current state.
    const PairContent& content() const { return content_; }

    // Ends every running transition at once.
    void finishTransitions();
    // Brings the transitions to the clock's current time. The view's own timer does this about
    // 60 times a second while something moves; tests on virtual time call it before a grab.
    void step();

    static constexpr Spring kSuccessSpring{0.42, 0.78};
    static constexpr double kSuccessStartScale = 0.92;
    static constexpr double kQrTransitionTime = 0.22;
    static constexpr double kQrStartScale = 0.97;
    static constexpr int kQrSide = 220;
    static constexpr int kQrPadding = 10;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    class QrCodeView;
    class StatusLabel;

    void refresh();
    void apply(const PairContent& next);
    void applyTransition();
    void startTicking();
    bool animates() const;

    const Clock& clock_;
    std::weak_ptr<PhoneLink> link_;
    Subscription subscription_;
    PairContent content_;
    bool hasContent_ = false;

    QWidget* pairing_ = nullptr;  // the pairing content
    QGraphicsOpacityEffect* pairingOpacity_ = nullptr;
    QLabel* headline_ = nullptr;
    QLabel* sameNetwork_ = nullptr;
    QWidget* qrBlock_ = nullptr;
    QrCodeView* qr_ = nullptr;
    QLabel* codeDigits_ = nullptr;
    QLabel* address_ = nullptr;
    QLabel* browserLink_ = nullptr;
    QLabel* placeholder_ = nullptr;
    QPushButton* newCode_ = nullptr;
    StatusLabel* status_ = nullptr;
    PairedView* paired_ = nullptr;

    AnimatedValue pairingVisible_{1};  // opacity of the pairing content
    AnimatedValue pairedVisible_{0};   // opacity of the success view
    AnimatedValue pairedScale_{1};     // its scale as it enters
    int timer_ = 0;
};

}  // namespace brimwick
