// TrayMenu: the tray's QMenu, filled from the status menu model. It keeps its items while it
// is open, rebuilds itself just before it opens, and hands chosen commands to its owner.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/tray_menu_model.h"

class QMenu;
class QPoint;
class QWidgetAction;

namespace brimwick {

class TamselFooter;

// GUI thread only. Owns its QMenu and the footer, which is made once and reused by every
// rebuild. Commands run from the event loop after the menu has closed, never inside its click.
class TrayMenu final : public QObject {
  public:
    using Source = std::function<std::vector<MenuEntry>()>;
    using Perform = std::function<void(MenuCommand, const std::string& sessionId)>;

    // `source` gives the current rows; `perform` runs a chosen item; `onAbout` is the footer's
    // link (the menu closes itself first).
    TrayMenu(Source source, Perform perform, std::function<void()> onAbout);
    ~TrayMenu() override;

    QMenu* menu() const { return menu_.get(); }
    bool isOpen() const { return open_; }

    // Replaces the items with the source's current rows; ignored while the menu is open.
    void rebuild();

    // Opens the menu with its top-left corner at `globalPos` (the island's taps use this).
    void popup(const QPoint& globalPos);

    // The rows shown now (the last rebuild's).
    const std::vector<MenuEntry>& entries() const { return entries_; }
    QWidgetAction* footerAction() const { return footerAction_; }
    TamselFooter* footer() const;

    // A title as a menu item shows it: '&' would otherwise mark a mnemonic and a tab would start
    // the shortcut column.
    static QString itemText(const std::string& title);

  private:
    void fill(QMenu& menu, const std::vector<MenuEntry>& entries);
    void aboutToShow();
    void aboutToHide();

    Source source_;
    Perform perform_;
    std::unique_ptr<QMenu> menu_;
    QWidgetAction* footerAction_ = nullptr;  // child of this object, never of the menu
    std::vector<QPointer<QMenu>> submenus_;
    std::vector<MenuEntry> entries_;
    bool open_ = false;
};

}  // namespace brimwick
