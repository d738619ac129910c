// QtFace: the desktop face of the application — tray icon and menu, alerts, beep, About — as the
// application asks for them.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "app/app_face.h"
#include "core/clock.h"

class QPoint;
class QSystemTrayIcon;

namespace brimwick {

class AboutDialog;
class App;
class TrayIcon;
class IslandPanel;
class PairWindow;
class TrayMenu;
enum class MenuCommand;

// GUI thread only. Must outlive the app it is attached to.
class QtFace final : public QObject, public AppFace {
  public:
    // The pairing window's entry points, filled in by the pairing window; while empty, the
    // commands that would open it only switch the phone link.
    struct PairingWindowEntry {
        std::function<void()> show;
        std::function<void()> close;
    };

    // `clock` must outlive the face.
    QtFace(const Clock& clock, bool reduceMotion);
    ~QtFace() override;

    // Connects the face to the launched app and builds the menu for the first time.
    void attach(App& app);

    // AppFace.
    void modelsCreated(App& app) override;
    void rebuildMenu() override;
    void showIconState(std::optional<BotState> state) override;
    void alert(const std::string& title, const std::string& text) override;
    void beep() override;
    void showPairingWindow() override;
    void closePairingWindow() override;

    // Opens the tray menu at a point on the screen, as a click on the tray icon does.
    void openMenuAt(const QPoint& globalPos);
    // The footer's link.
    void showAbout();

    bool reduceMotion() const { return reduceMotion_; }
    // The desktop's setting changed while running: the tray icon and the island follow.
    void setReduceMotion(bool on);

    PairingWindowEntry pairingWindow;
    // Where the missing tray is reported (once); standard error unless replaced.
    std::function<void(const std::string&)> report;

    // The parts, once modelsCreated() has run.
    QSystemTrayIcon* tray() const { return tray_.get(); }
    TrayIcon* icon() const { return icon_.get(); }
    TrayMenu* trayMenu() const { return menu_.get(); }
    IslandPanel* panel() const { return panel_.get(); }
    AboutDialog* aboutDialog() const;

    static constexpr const char* kNoTray =
        "brimwick: no system tray found, so there is no tray icon; the island still opens the "
        "menu, and \"brimwick --headless\" prints the same state as text";

  private:
    void perform(MenuCommand command, const std::string& sessionId);

    const Clock& clock_;
    bool reduceMotion_;
    App* app_ = nullptr;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<TrayIcon> icon_;
    std::unique_ptr<TrayMenu> menu_;
    std::unique_ptr<IslandPanel> panel_;
    std::unique_ptr<PairWindow> pairWindow_;
    QPointer<AboutDialog> about_;
    bool reportedNoTray_ = false;
};

}  // namespace brimwick
