#include "app/qt/tray_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QWidgetAction>

#include "app/qt/tamsel_footer.h"

namespace brimwick {
namespace {

using Kind = MenuEntry::Kind;

MenuEntry item(std::string title, MenuCommand command = MenuCommand::none) {
    MenuEntry entry;
    entry.title = std::move(title);
    entry.command = command;
    entry.enabled = command != MenuCommand::none;
    return entry;
}

MenuEntry of(Kind kind) {
    MenuEntry entry;
    entry.kind = kind;
    entry.enabled = true;
    return entry;
}

// The rows the tests feed in: the shapes the model produces.
std::vector<MenuEntry> sampleRows() {
    MenuEntry session = item("R&D: Working  \u00b7  XTerm", MenuCommand::focusSession);
    session.sessionId = "s-7";
    MenuEntry usage = item("Show Claude usage in the island", MenuCommand::toggleUsage);
    usage.checkable = true;
    usage.checked = true;
    MenuEntry approvals = item("Approve from phone", MenuCommand::toggleApprovals);
    approvals.checkable = true;
    approvals.tooltip = "Wait for the phone.";
    MenuEntry demo = of(Kind::submenu);
    demo.title = "Demo";
    demo.entries = {item("Add one demo session", MenuCommand::demoOne),
                    item("Clear all faces", MenuCommand::clearAll)};
    MenuEntry quit = item("Quit Brimwick", MenuCommand::quit);
    quit.key = "Ctrl+Q";
    return {item("Brimwick: Starting\u2026"),
            of(Kind::separator),
            session,
            item("tabs\there"),
            of(Kind::separator),
            usage,
            approvals,
            demo,
            quit,
            of(Kind::separator),
            of(Kind::footer)};
}

void flushDeferred() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

class TrayMenuTest : public ::testing::Test {
  protected:
    TrayMenuTest()
        : menu([this] { return rows; },
               [this](MenuCommand command, const std::string& id) {
                   performed.emplace_back(command, id);
               },
               [this] { ++abouts; }) {}

    QAction* action(const QString& text) const {
        for (QAction* a : menu.menu()->actions()) {
            if (a->text() == text) return a;
        }
        return nullptr;
    }
    QStringList texts() const {
        QStringList out;
        for (QAction* a : menu.menu()->actions()) {
            out << (a->isSeparator() ? QStringLiteral("---") : a->text());
        }
        return out;
    }

    std::vector<MenuEntry> rows = sampleRows();
    std::vector<std::pair<MenuCommand, std::string>> performed;
    int abouts = 0;
    TrayMenu menu;
};

TEST_F(TrayMenuTest, ItemsCarryTheModelsTitlesStatesAndShortcut) {
    menu.rebuild();
    EXPECT_EQ(texts(), (QStringList{"Brimwick: Starting\u2026", "---",
                                    "R&&D: Working  \u00b7  XTerm", "tabs here", "---",
                                    "Show Claude usage in the island", "Approve from phone", "Demo",
                                    "Quit Brimwick", "---", "About Brimwick"}));
    EXPECT_FALSE(action("Brimwick: Starting\u2026")->isEnabled());
    EXPECT_TRUE(action("R&&D: Working  \u00b7  XTerm")->isEnabled());
    EXPECT_FALSE(action("R&&D: Working  \u00b7  XTerm")->isCheckable());
    QAction* usage = action("Show Claude usage in the island");
    EXPECT_TRUE(usage->isCheckable());
    EXPECT_TRUE(usage->isChecked());
    QAction* approvals = action("Approve from phone");
    EXPECT_TRUE(approvals->isCheckable());
    EXPECT_FALSE(approvals->isChecked());
    EXPECT_EQ(approvals->toolTip(), "Wait for the phone.");
    EXPECT_TRUE(menu.menu()->toolTipsVisible());
    EXPECT_EQ(action("Quit Brimwick")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(action("Approve from phone")->shortcut().isEmpty());

    QMenu* demo = action("Demo")->menu();
    ASSERT_TRUE(demo);
    ASSERT_EQ(demo->actions().size(), 2);
    EXPECT_EQ(demo->actions()[0]->text(), "Add one demo session");
    EXPECT_EQ(demo->actions()[1]->text(), "Clear all faces");

    EXPECT_EQ(menu.menu()->actions().last(), menu.footerAction());
    EXPECT_TRUE(dynamic_cast<TamselFooter*>(menu.footerAction()->defaultWidget()));
}

TEST_F(TrayMenuTest, RebuildsAreIgnoredWhileOpenAndTheNextOpeningIsCurrent) {
    menu.rebuild();
    // Opening rebuilds first, with whatever the models say now.
    rows.insert(rows.begin() + 2, item("new: Thinking"));
    menu.menu()->aboutToShow();
    EXPECT_TRUE(menu.isOpen());
    EXPECT_TRUE(texts().contains("new: Thinking"));

    rows.erase(rows.begin() + 2);
    menu.rebuild();
    EXPECT_TRUE(texts().contains("new: Thinking"));  // kept while open

    menu.menu()->aboutToHide();
    EXPECT_FALSE(menu.isOpen());
    menu.rebuild();
    EXPECT_FALSE(texts().contains("new: Thinking"));
}

TEST_F(TrayMenuTest, CommandsRunAfterTheClickFromTheEventLoop) {
    menu.rebuild();
    action("R&&D: Working  \u00b7  XTerm")->trigger();
    EXPECT_TRUE(performed.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(performed.size(), 1u);
    EXPECT_EQ(performed[0], std::make_pair(MenuCommand::focusSession, std::string("s-7")));

    action("Demo")->menu()->actions()[1]->trigger();
    action("Brimwick: Starting\u2026")->trigger();  // an information line does nothing
    QCoreApplication::processEvents();
    ASSERT_EQ(performed.size(), 2u);
    EXPECT_EQ(performed[1].first, MenuCommand::clearAll);
}

TEST_F(TrayMenuTest, FooterAndSubmenusSurviveManyRebuildsWithoutPilingUp) {
    menu.rebuild();
    QWidgetAction* footer = menu.footerAction();
    for (int i = 0; i < 20; ++i) menu.rebuild();
    flushDeferred();
    EXPECT_EQ(menu.footerAction(), footer);
    EXPECT_EQ(menu.menu()->actions().last(), footer);
    EXPECT_EQ(menu.menu()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 1);
    EXPECT_EQ(menu.menu()->actions().size(), 11);

    // A menu without a footer row shows none.
    rows.pop_back();
    menu.rebuild();
    EXPECT_FALSE(menu.menu()->actions().contains(footer));
}

TEST_F(TrayMenuTest, FooterLinkClosesTheMenuFirst) {
    menu.rebuild();
    TamselFooter* footer = menu.footer();
    ASSERT_TRUE(footer);
    EXPECT_EQ(footer->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(footer->layout()->contentsMargins(), QMargins(14, 6, 14, 6));

    footer->aboutLink()->linkActivated(QStringLiteral("about"));
    EXPECT_EQ(abouts, 0);  // after the menu has gone
    QCoreApplication::processEvents();
    EXPECT_EQ(abouts, 1);
    EXPECT_TRUE(footer->aboutLink()->text().contains("About Brimwick"));

    // Where the menu can't show widgets, the footer's plain item opens About too.
    menu.footerAction()->trigger();
    EXPECT_EQ(abouts, 2);
}

}  // namespace
}  // namespace brimwick
