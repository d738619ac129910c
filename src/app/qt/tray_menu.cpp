#include "app/qt/tray_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QTimer>
#include <QWidgetAction>

#include "app/brand.h"
#include "app/qt/tamsel_footer.h"

namespace brimwick {

TrayMenu::TrayMenu(Source source, Perform perform, std::function<void()> onAbout)
    : source_(std::move(source)), perform_(std::move(perform)), menu_(std::make_unique<QMenu>()) {
    menu_->setToolTipsVisible(true);
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] { aboutToShow(); });
    connect(menu_.get(), &QMenu::aboutToHide, this, [this] { aboutToHide(); });

    footerAction_ = new QWidgetAction(this);
    // Menus exported to a desktop panel can't show widgets; there the footer is a plain item.
    footerAction_->setText(QStringLiteral("About %1").arg(QString::fromUtf8(brand::kAppName)));
    connect(footerAction_, &QAction::triggered, this, [onAbout] {
        if (onAbout) onAbout();
    });
    auto* footer = new TamselFooter();
    footer->onAbout = [this, onAbout = std::move(onAbout)] {
        menu_->hide();
        if (onAbout) QTimer::singleShot(0, this, onAbout);
    };
    footerAction_->setDefaultWidget(footer);
}

TrayMenu::~TrayMenu() {
    // The footer is not the menu's: take it out before the menu goes.
    if (menu_) menu_->removeAction(footerAction_);
}

TamselFooter* TrayMenu::footer() const {
    return static_cast<TamselFooter*>(footerAction_->defaultWidget());
}

QString TrayMenu::itemText(const std::string& title) {
    QString text = QString::fromStdString(title);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

void TrayMenu::rebuild() {
    if (open_) return;
    entries_ = source_ ? source_() : std::vector<MenuEntry>{};
    menu_->removeAction(footerAction_);
    menu_->clear();
    // Submenus are widgets of the menu, which clear() leaves behind.
    for (auto& submenu : submenus_) {
        if (submenu) submenu->deleteLater();
    }
    submenus_.clear();
    fill(*menu_, entries_);
}

void TrayMenu::fill(QMenu& menu, const std::vector<MenuEntry>& entries) {
    for (const MenuEntry& entry : entries) {
        switch (entry.kind) {
            case MenuEntry::Kind::separator:
                menu.addSeparator();
                break;
            case MenuEntry::Kind::footer:
                menu.addAction(footerAction_);
                break;
            case MenuEntry::Kind::submenu: {
                auto* submenu = new QMenu(itemText(entry.title), &menu);
                submenu->setEnabled(entry.enabled);
                submenus_.emplace_back(submenu);
                fill(*submenu, entry.entries);
                menu.addMenu(submenu);
                break;
            }
            case MenuEntry::Kind::item: {
                QAction* action = menu.addAction(itemText(entry.title));
                action->setEnabled(entry.enabled);
                action->setCheckable(entry.checkable);
                action->setChecked(entry.checked);
                if (!entry.tooltip.empty())
                    action->setToolTip(QString::fromStdString(entry.tooltip));
                if (!entry.key.empty()) {
                    action->setShortcut(QKeySequence(QString::fromStdString(entry.key)));
                }
                if (entry.command != MenuCommand::none) {
                    const MenuCommand command = entry.command;
                    const std::string id = entry.sessionId;
                    connect(action, &QAction::triggered, this, [this, command, id] {
                        // After the click has been handled and the menu is gone: a command may
                        // show a modal alert or rebuild this very menu.
                        QTimer::singleShot(0, this, [this, command, id] {
                            if (perform_) perform_(command, id);
                        });
                    });
                }
                break;
            }
        }
    }
}

void TrayMenu::popup(const QPoint& globalPos) {
    if (open_) return;
    menu_->popup(globalPos);
}

void TrayMenu::aboutToShow() {
    // Up to date at every opening, whatever was ignored while it was open last time.
    rebuild();
    open_ = true;
}

void TrayMenu::aboutToHide() {
    open_ = false;
}

}  // namespace brimwick
