// PairWindow: the one pairing window of the run — "Pair a phone", 340 × 460, showing the phone
// link's QR code and code — created on first use and hidden, not destroyed, when closed.
#pragma once

#include <QPointer>
#include <memory>

#include "core/clock.h"

class QWidget;

namespace brimwick {

class PairView;
class PhoneLink;

// GUI thread only. Whoever shows pairing windows owns one PairWindow (the desktop face); there
// is no global instance. `clock` drives the window's transitions and must outlive it.
//
//     PairWindow pairing(clock);
//     pairing.show(link);   // from the menu's phone commands
//     pairing.close();      // from PhoneLink::closePairingWindow, 2.2 s after a pairing
class PairWindow {
  public:
    explicit PairWindow(const Clock& clock);
    ~PairWindow();
    PairWindow(const PairWindow&) = delete;
    PairWindow& operator=(const PairWindow&) = delete;

    // Shows the window for `link` and brings it to the front. While the link is on but pairing
    // is paused (no code), a fresh code is issued first. The first call creates the window,
    // centred on the screen; later calls show the same one.
    void show(PhoneLink& link);
    // Hides the window if it is open; its state stays for the next show.
    void close();

    // The window and its content once show() has created them, else null.
    QWidget* window() const { return window_.get(); }
    PairView* view() const { return view_; }

    static constexpr int kWidth = 340;
    static constexpr int kHeight = 460;

  private:
    const Clock& clock_;
    std::unique_ptr<QWidget> window_;
    PairView* view_ = nullptr;  // owned by window_
};

}  // namespace brimwick
