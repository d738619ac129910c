#include "app/qt/tray_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QWidgetAction>

#include "app/qt/tamsel_footer.h"

namespace brimwick {
namespace {

MenuEntry item(std::string title, MenuCommand command = MenuCommand::none,
               MenuEntry::Kind kind = MenuEntry::Kind::item) {
    MenuEntry entry;
    entry.title = std::move(title);
    entry.command = command;
    entry.kind = kind;
    entry.enabled = command != MenuCommand::none || kind != MenuEntry::Kind::item;
    return entry;
}

class TrayMenuTest : public ::testing::Test {
  protected:
    TrayMenuTest() {
        rows[2].sessionId = "s-7";
        rows[5].checkable = rows[5].checked = rows[6].checkable = true;
        rows[6].tooltip = "Wait for the phone.";
        rows[7].entries = {item("Add one demo session", MenuCommand::demoOne),
                           item("Clear all faces", MenuCommand::clearAll)};
        rows[8].key = "Ctrl+Q";
        menu.rebuild();
    }
    QAction* action(const QString& text) const {
        for (QAction* a : menu.menu()->actions()) {
            if (a->text() == text) return a;
        }
        return nullptr;
    }
    QStringList texts() const {
        QStringList out;
        for (QAction* a : menu.menu()->actions())
            out << (a->isSeparator() ? QStringLiteral("---") : a->text());
        return out;
    }

    // The shapes the model produces.
    std::vector<MenuEntry> rows = {
        item("Brimwick: Starting\u2026"),
        item("", MenuCommand::none, MenuEntry::Kind::separator),
        item("R&D: Working  \u00b7  XTerm", MenuCommand::focusSession),
        item("tabs\there"),
        item("", MenuCommand::none, MenuEntry::Kind::separator),
        item("Show Claude usage in the island", MenuCommand::toggleUsage),
        item("Approve from phone", MenuCommand::toggleApprovals),
        item("Demo", MenuCommand::none, MenuEntry::Kind::submenu),
        item("Quit Brimwick", MenuCommand::quit),
        item("", MenuCommand::none, MenuEntry::Kind::separator),
        item("", MenuCommand::none, MenuEntry::Kind::footer)};
    std::vector<std::pair<MenuCommand, std::string>> performed;
    int abouts = 0;
    TrayMenu menu{
        [this] { return rows; },
        [this](MenuCommand command, const std::string& id) { performed.emplace_back(command, id); },
        [this] { ++abouts; }};
};

TEST_F(TrayMenuTest, ItemsCarryTheModelsTitlesStatesAndShortcutAndSurviveRebuilds) {
    for (int i = 0; i < 20; ++i) menu.rebuild();  // nothing piles up
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(texts(), (QStringList{"Brimwick: Starting\u2026", "---",
                                    "R&&D: Working  \u00b7  XTerm", "tabs here", "---",
                                    "Show Claude usage in the island", "Approve from phone", "Demo",
                                    "Quit Brimwick", "---", "About Brimwick"}));
    EXPECT_FALSE(action("Brimwick: Starting\u2026")->isEnabled());
    EXPECT_TRUE(action("R&&D: Working  \u00b7  XTerm")->isEnabled());
    EXPECT_FALSE(action("R&&D: Working  \u00b7  XTerm")->isCheckable());
    EXPECT_TRUE(action("Show Claude usage in the island")->isChecked());
    QAction* approvals = action("Approve from phone");
    EXPECT_TRUE(approvals->isCheckable());
    EXPECT_FALSE(approvals->isChecked());
    EXPECT_EQ(approvals->toolTip(), "Wait for the phone.");
    EXPECT_TRUE(approvals->shortcut().isEmpty());
    EXPECT_TRUE(menu.menu()->toolTipsVisible());
    EXPECT_EQ(action("Quit Brimwick")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* demo = action("Demo")->menu();
    ASSERT_TRUE(demo);
    ASSERT_EQ(demo->actions().size(), 2);
    EXPECT_EQ(demo->actions()[1]->text(), "Clear all faces");
    EXPECT_EQ(menu.menu()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 1);
    QWidgetAction* footer = menu.footerAction();
    EXPECT_EQ(menu.menu()->actions().last(), footer);
    EXPECT_TRUE(dynamic_cast<TamselFooter*>(footer->defaultWidget()));
    rows.pop_back();  // a menu without a footer row shows none
    menu.rebuild();
    EXPECT_FALSE(menu.menu()->actions().contains(footer));
}

TEST_F(TrayMenuTest, RebuildsWaitWhileOpenAndCommandsRunAfterTheClick) {
    rows.insert(rows.begin() + 2, item("new: Thinking"));
    menu.menu()->aboutToShow();  // opening rebuilds first, with whatever the models say now
    EXPECT_TRUE(menu.isOpen());
    EXPECT_TRUE(texts().contains("new: Thinking"));
    rows.erase(rows.begin() + 2);
    menu.rebuild();
    EXPECT_TRUE(texts().contains("new: Thinking"));  // kept while open
    menu.menu()->aboutToHide();
    EXPECT_FALSE(menu.isOpen());
    menu.rebuild();
    EXPECT_FALSE(texts().contains("new: Thinking"));

    action("R&&D: Working  \u00b7  XTerm")->trigger();
    EXPECT_TRUE(performed.empty());  // from the event loop, after the menu has gone
    QCoreApplication::processEvents();
    action("Demo")->menu()->actions()[1]->trigger();
    action("Brimwick: Starting\u2026")->trigger();  // an information line does nothing
    QCoreApplication::processEvents();
    EXPECT_EQ(performed, (std::vector<std::pair<MenuCommand, std::string>>{
                             {MenuCommand::focusSession, "s-7"}, {MenuCommand::clearAll, ""}}));
}

TEST_F(TrayMenuTest, FooterLinkClosesTheMenuFirst) {
    TamselFooter* footer = menu.footer();
    ASSERT_TRUE(footer);
    footer->aboutLink()->linkActivated(QStringLiteral("about"));
    EXPECT_EQ(abouts, 0);  // after the menu has gone
    QCoreApplication::processEvents();
    EXPECT_EQ(abouts, 1);
    EXPECT_TRUE(footer->aboutLink()->text().contains("About Brimwick"));
    menu.footerAction()->trigger();  // where the menu can't show widgets, the plain item does it
    EXPECT_EQ(abouts, 2);
}

}  // namespace
}  // namespace brimwick
