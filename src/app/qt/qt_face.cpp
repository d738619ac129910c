#include "app/qt/qt_face.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <iostream>

#include "app/app.h"
#include "app/brand.h"
#include "app/qt/about_dialog.h"
#include "app/qt/app_icon.h"
#include "app/qt/tray_icon.h"
#include "app/qt/tray_menu.h"
#include "app/tray_menu_model.h"
#include "island/qt/island_panel.h"
#include "phone/qt/pair_window.h"

namespace brimwick {

QtFace::QtFace(const Clock& clock, bool reduceMotion) : clock_(clock), reduceMotion_(reduceMotion) {
    report = [](const std::string& line) { std::cerr << line << std::endl; };
}

QtFace::~QtFace() {
    delete about_.data();
    // The icon draws into the tray: it goes first.
    icon_.reset();
    if (tray_) tray_->hide();
}

void QtFace::modelsCreated(App& app) {
    app_ = &app;
    // The island: its mascot focuses the session's terminal; the count and the usage ear open
    // the menu under themselves, as a click on the tray icon would.
    panel_ = std::make_unique<IslandPanel>(
        app.store(), app.usage(),
        [this](const AgentSession& session) {
            if (app_) app_->focusSession(session.id);
        },
        [this] { openMenuAt(panel_->menuAnchor(panel_->layout().sessionsFrame)); },
        [this] { openMenuAt(panel_->menuAnchor(panel_->layout().usageFrame)); }, clock_,
        reduceMotion_);

    // One shared pairing window, hidden rather than destroyed when closed.
    pairWindow_ = std::make_unique<PairWindow>(clock_);
    pairingWindow.show = [this] {
        if (app_) pairWindow_->show(app_->phone());
    };
    pairingWindow.close = [this] { pairWindow_->close(); };

    tray_ = std::make_unique<QSystemTrayIcon>();
    menu_ = std::make_unique<TrayMenu>(
        [this] { return app_ ? buildStatusMenu(trayMenuInput(*app_)) : std::vector<MenuEntry>{}; },
        [this](MenuCommand command, const std::string& id) { perform(command, id); },
        [this] { showAbout(); });
    tray_->setContextMenu(menu_->menu());
    // A left click opens the same menu (the right click opens it on its own). Two clicks in
    // quick succession arrive as a double click, which must not leave the menu shut.
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    openMenuAt(QCursor::pos());
                }
            });

    icon_ = std::make_unique<TrayIcon>(*tray_, clock_);
    icon_->setReduceMotion(reduceMotion_);
    icon_->render();
    icon_->startTimer();

    if (!QSystemTrayIcon::isSystemTrayAvailable() && !reportedNoTray_) {
        reportedNoTray_ = true;
        if (report) report(kNoTray);
    }
    tray_->show();
}

void QtFace::attach(App& app) {
    app_ = &app;
    rebuildMenu();
}

void QtFace::rebuildMenu() {
    if (menu_ && app_) menu_->rebuild();
}

void QtFace::showIconState(std::optional<BotState> state) {
    if (icon_) icon_->show(state);
}

void QtFace::alert(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(title), QMessageBox::Ok);
    // Paths and error texts are shown as written, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(QString::fromStdString(text));
    if (auto* heading = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
    }
    QImage icon = appIconImage(64);
    box.setIconPixmap(QPixmap::fromImage(icon));
    box.setWindowModality(Qt::ApplicationModal);
    // The app has no window of its own: the alert comes to the front by itself.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
}

void QtFace::beep() {
    QApplication::beep();
}

void QtFace::showPairingWindow() {
    if (pairingWindow.show) pairingWindow.show();
}

void QtFace::closePairingWindow() {
    if (pairingWindow.close) pairingWindow.close();
}

void QtFace::openMenuAt(const QPoint& globalPos) {
    if (menu_) menu_->popup(globalPos);
}

void QtFace::showAbout() {
    if (!about_) {
        about_ = new AboutDialog();
        about_->setAttribute(Qt::WA_DeleteOnClose);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

AboutDialog* QtFace::aboutDialog() const {
    return about_.data();
}

void QtFace::setReduceMotion(bool on) {
    reduceMotion_ = on;
    if (icon_) icon_->setReduceMotion(on);
    if (panel_) panel_->setReduceMotion(on);
}

void QtFace::perform(MenuCommand command, const std::string& sessionId) {
    if (command == MenuCommand::quit) {
        QCoreApplication::quit();
        return;
    }
    if (app_) performMenuCommand(*app_, *this, command, sessionId);
}

}  // namespace brimwick
