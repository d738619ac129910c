#include "phone/qt/pair_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "phone/pair_content.h"
#include "phone/phone_link.h"
#include "phone/qt/pair_view.h"

namespace brimwick {

PairWindow::PairWindow(const Clock& clock) : clock_(clock) {}

PairWindow::~PairWindow() = default;

void PairWindow::show(PhoneLink& link) {
    // Pairing paused after burned codes: opening the window is the user asking for a new one.
    if (link.enabled() && link.pairing().code().empty()) link.newCode();

    if (!window_) {
        // Title bar with a close button only: no resizing, no minimising, no maximising.
        window_ =
            std::make_unique<QWidget>(nullptr, Qt::Window | Qt::CustomizeWindowHint |
                                                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        window_->setObjectName(QStringLiteral("pairWindow"));
        window_->setWindowTitle(QString::fromUtf8(pair_text::kWindowTitle));
        window_->setFixedSize(kWidth, kHeight);
        auto* layout = new QVBoxLayout(window_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        view_ = new PairView(link, clock_, window_.get());
        layout->addWidget(view_);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(0, 0), QSize(kWidth, kHeight));
            frame.moveCenter(screen->availableGeometry().center());
            window_->move(frame.topLeft());
        }
    } else {
        view_->setLink(link);
    }
    // A window that was hidden mid-transition opens on its current state.
    if (!window_->isVisible()) view_->finishTransitions();

    window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void PairWindow::close() {
    if (window_) window_->hide();
}

}  // namespace brimwick
