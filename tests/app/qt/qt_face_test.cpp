#include "app/qt/qt_face.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/app.h"
#include "app/qt/about_dialog.h"
#include "app/qt/tray_icon.h"
#include "app/qt/tray_menu.h"
#include "support/app_test_environment.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

class QtFaceTest : public ::testing::Test {
  protected:
    void TearDown() override {
        app.reset();
        face.reset();
    }
    void launch(bool reduceMotion = false) {
        face = std::make_unique<QtFace>(main, reduceMotion);
        face->report = [this](const std::string& line) { reports.push_back(line); };
        app = App::launch(testing::appTestEnvironment(main, preferences, scratch.path()), *face);
        face->attach(*app);
        main.runPending();
    }
    QAction* action(const QString& text) const {
        for (QAction* a : face->trayMenu()->menu()->actions()) {
            if (a->text() == text) return a;
        }
        return nullptr;
    }

    testing::ScratchFolder scratch{"brimwick-face"};
    testing::ManualMainQueue main;
    testing::MemoryPreferences preferences;
    std::unique_ptr<QtFace> face;
    std::shared_ptr<App> app;
    std::vector<std::string> reports;
};

TEST_F(QtFaceTest, TheTrayIconAndMenuFollowTheAppAndItsCommandsReachTheModels) {
    launch();
    ASSERT_TRUE(face->tray() && face->icon());
    EXPECT_EQ(face->tray()->contextMenu(), face->trayMenu()->menu());
    EXPECT_TRUE(face->icon()->isAnimating());  // the intro
    EXPECT_FALSE(face->icon()->reduceMotion());
    EXPECT_FALSE(face->tray()->icon().isNull());
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());  // offscreen: no tray host
    EXPECT_EQ(reports, std::vector<std::string>{QtFace::kNoTray});
    // The server's first status arrives from its thread and rebuilds the closed menu.
    ASSERT_TRUE(main.runUntil([&] { return app->serverStatus() != shared_text::kStarting; }));
    main.runPending();
    EXPECT_EQ(face->trayMenu()->menu()->actions().first()->text(),
              QString::fromStdString("Brimwick: " + app->serverStatus()));

    app->store().handle(*HookEvent::fromJson(
        {{"hook_event_name", "PermissionRequest"}, {"session_id", "s1"}, {"cwd", "/src/weather"}}));
    main.runPending();
    EXPECT_EQ(face->icon()->state(), BotState::approval);
    ASSERT_TRUE(action("weather: Needs your approval"));
    EXPECT_FALSE(action("weather: Needs your approval")->isEnabled());
    action("Demo")->menu()->actions()[2]->trigger();  // Clear all faces
    QCoreApplication::processEvents();
    main.runPending();
    EXPECT_EQ(face->icon()->state(), std::nullopt);
    EXPECT_TRUE(action("No active Claude Code sessions"));

    int pairing = 0;
    face->pairingWindow.show = [&] { ++pairing; };
    action(QString::fromUtf8("Connect phone over Wi\u2011Fi"))->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app->phone().enabled());
    EXPECT_EQ(pairing, 1);
    face->pairingWindow.show = nullptr;  // without the pairing window nothing opens
    face->showPairingWindow();
    EXPECT_EQ(pairing, 1);
}

TEST_F(QtFaceTest, TheMenuOpensAtAPointOrOnLeftClicksUpToDate) {
    launch(true);
    EXPECT_TRUE(face->icon()->reduceMotion());
    EXPECT_FALSE(face->icon()->isAnimating());
    QMenu* menu = face->trayMenu()->menu();
    face->openMenuAt(QPoint(300, 40));
    EXPECT_TRUE(menu->isVisible());
    EXPECT_TRUE(face->trayMenu()->isOpen());
    EXPECT_EQ(menu->pos(), QPoint(300, 40));
    app->store().handle(*HookEvent::fromJson(
        {{"hook_event_name", "UserPromptSubmit"}, {"session_id", "s1"}, {"cwd", "/src/atlas"}}));
    main.runPending();
    menu->hide();
    EXPECT_FALSE(face->trayMenu()->isOpen());
    for (auto reason :
         {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {  // even when quick
        Q_EMIT face->tray()->activated(reason);
        EXPECT_TRUE(menu->isVisible()) << reason;
        EXPECT_TRUE(action("atlas: Thinking"));
        menu->hide();
    }
    Q_EMIT face->tray()->activated(QSystemTrayIcon::MiddleClick);  // not a way to open it
    EXPECT_FALSE(menu->isVisible());
}

TEST_F(QtFaceTest, AlertIsAModalBoxWithTheExactPlainTitleAndText) {
    launch();
    QString title, text, informative;
    Qt::TextFormat format = Qt::AutoText;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        modal = box->isModal();
        title = box->windowTitle();
        text = box->text();
        informative = box->informativeText();
        format = box->textFormat();
        box->accept();
    });
    face->alert("Couldn't install hooks", "Can't write /home/<me>/.claude/settings.json & more");
    EXPECT_TRUE(modal);
    EXPECT_EQ(title, "Couldn't install hooks");
    EXPECT_EQ(text, "Couldn't install hooks");
    EXPECT_EQ(informative, "Can't write /home/<me>/.claude/settings.json & more");
    EXPECT_EQ(format, Qt::PlainText);
}

TEST_F(QtFaceTest, AboutShowsNameVersionAndCreditsOnceAndTheSiteLinkOpensTheSite) {
    launch();
    face->showAbout();
    AboutDialog* about = face->aboutDialog();
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), "About Brimwick");
    EXPECT_EQ(about->nameLabel()->text(), "Brimwick");
    EXPECT_EQ(about->versionLabel()->text(), QStringLiteral("Version " BRIMWICK_VERSION));
    QStringList credits;
    for (QLabel* label : about->credits()->findChildren<QLabel*>()) {
        credits << label->text();
        if (label->text() == "TAMSEL") {
            EXPECT_TRUE(label->font().bold() && label->font().letterSpacing() == 1.5);
        }
    }
    EXPECT_TRUE(credits.contains("Made by "));
    EXPECT_TRUE(credits.contains("TAMSEL"));
    EXPECT_FALSE(credits.join("").contains("href"));  // the maker has no address to link to
    face->showAbout();                                // the same window comes forward again
    EXPECT_EQ(face->aboutDialog(), about);
    about->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(face->aboutDialog(), nullptr);
}

}  // namespace
}  // namespace brimwick
