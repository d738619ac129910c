#include "app/qt/qt_face.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>
#include <filesystem>

#include "app/app.h"
#include "app/qt/about_dialog.h"
#include "app/qt/tray_icon.h"
#include "app/qt/tray_menu.h"
#include "support/app_test_environment.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

class QtFaceTest : public ::testing::Test {
  protected:
    void TearDown() override {
        app.reset();
        face.reset();
    }

    void launch(bool reduceMotion = false) {
        face = std::make_unique<QtFace>(main, reduceMotion);
        face->report = [this](const std::string& line) { reports.push_back(line); };
        AppEnvironment env = testing::appTestEnvironment(main, preferences, home);
        app = App::launch(env, *face);
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
    const fs::path& home = scratch.path();
    testing::ManualMainQueue main;
    testing::MemoryPreferences preferences;
    std::unique_ptr<QtFace> face;
    std::shared_ptr<App> app;
    std::vector<std::string> reports;
};

TEST_F(QtFaceTest, StartUpMakesTheTrayIconAndMenuAndSaysOnceWhenThereIsNoTray) {
    launch();
    ASSERT_TRUE(face->tray());
    EXPECT_EQ(face->tray()->contextMenu(), face->trayMenu()->menu());
    ASSERT_TRUE(face->icon());
    EXPECT_TRUE(face->icon()->isAnimating());  // the intro
    EXPECT_FALSE(face->tray()->icon().isNull());
    // The offscreen platform has no tray host.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    EXPECT_EQ(reports, std::vector<std::string>{QtFace::kNoTray});
    // The server's first status arrives from its thread and rebuilds the closed menu.
    ASSERT_TRUE(main.runUntil([&] { return app->serverStatus() != shared_text::kStarting; }));
    main.runPending();
    EXPECT_EQ(face->trayMenu()->menu()->actions().first()->text(),
              QString::fromStdString("Brimwick: " + app->serverStatus()));
    EXPECT_NE(app->serverStatus().find("Listening on 127.0.0.1:"), std::string::npos);
}

TEST_F(QtFaceTest, ReduceMotionKeepsTheIconStill) {
    launch(true);
    EXPECT_TRUE(face->icon()->reduceMotion());
    EXPECT_FALSE(face->icon()->isAnimating());
}

TEST_F(QtFaceTest, SessionChangesReachTheMenuAndTheIcon) {
    launch();
    HookEvent event;
    event.name = "PermissionRequest";
    event.sessionId = "s1";
    event.cwd = "/src/weather";
    app->store().handle(event);
    main.runPending();
    EXPECT_EQ(face->icon()->state(), BotState::approval);
    EXPECT_TRUE(action("weather: Needs your approval"));
    EXPECT_FALSE(action("weather: Needs your approval")->isEnabled());

    app->store().clearAll();
    main.runPending();
    EXPECT_EQ(face->icon()->state(), std::nullopt);
    EXPECT_TRUE(action("No active Claude Code sessions"));
}

TEST_F(QtFaceTest, MenuCommandsReachTheModels) {
    launch();
    action("Demo")->menu()->actions()[0]->trigger();
    QCoreApplication::processEvents();
    main.advance(1);
    EXPECT_EQ(app->store().sessions().size(), 1u);

    int pairing = 0;
    face->pairingWindow.show = [&] { ++pairing; };
    action(QString::fromUtf8("Connect phone over Wi\u2011Fi"))->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app->phone().enabled());
    EXPECT_EQ(pairing, 1);
    // Without the pairing window the command only switches the link.
    face->pairingWindow.show = nullptr;
    face->showPairingWindow();
    EXPECT_EQ(pairing, 1);
}

TEST_F(QtFaceTest, TheMenuOpensAtAPointUpToDate) {
    launch();
    HookEvent event;
    event.name = "UserPromptSubmit";
    event.sessionId = "s1";
    event.cwd = "/src/atlas";
    QMenu* menu = face->trayMenu()->menu();
    face->openMenuAt(QPoint(300, 40));
    EXPECT_TRUE(menu->isVisible());
    EXPECT_TRUE(face->trayMenu()->isOpen());
    EXPECT_EQ(menu->pos(), QPoint(300, 40));
    // The list changes while it is open: the open menu keeps its rows.
    app->store().handle(event);
    main.runPending();
    EXPECT_FALSE(action("atlas: Thinking"));
    menu->hide();
    EXPECT_FALSE(face->trayMenu()->isOpen());
    face->openMenuAt(QPoint(300, 40));
    EXPECT_TRUE(action("atlas: Thinking"));
    menu->hide();
}

TEST_F(QtFaceTest, LeftClicksOnTheTrayIconOpenTheMenuEvenWhenQuick) {
    launch();
    QMenu* menu = face->trayMenu()->menu();
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
        Q_EMIT face->tray()->activated(reason);
        EXPECT_TRUE(menu->isVisible()) << reason;
        menu->hide();
    }
    // The middle button is not a way to open it.
    Q_EMIT face->tray()->activated(QSystemTrayIcon::MiddleClick);
    EXPECT_FALSE(menu->isVisible());
}

TEST_F(QtFaceTest, AlertIsAModalBoxWithTheExactTitleAndText) {
    launch();
    QString title, text, informative, windowTitle;
    Qt::TextFormat format = Qt::AutoText;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        modal = box->isModal();
        windowTitle = box->windowTitle();
        text = box->text();
        informative = box->informativeText();
        format = box->textFormat();
        box->accept();
    });
    face->alert("Couldn't install hooks", "Can't write /home/<me>/.claude/settings.json & more");
    EXPECT_TRUE(modal);
    EXPECT_EQ(windowTitle, "Couldn't install hooks");
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
    QLabel* maker = nullptr;
    for (QLabel* label : about->credits()->findChildren<QLabel*>()) {
        credits << label->text();
        if (label->text() == "TAMSEL") maker = label;
    }
    EXPECT_TRUE(credits.contains("Made by "));
    // No link: the maker has no address.
    EXPECT_FALSE(credits.join("").contains("href"));
    ASSERT_TRUE(maker);
    EXPECT_TRUE(maker->font().bold());
    EXPECT_DOUBLE_EQ(maker->font().letterSpacing(), 1.5);

    face->showAbout();  // the same window comes forward again
    EXPECT_EQ(face->aboutDialog(), about);
    about->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(face->aboutDialog(), nullptr);
}

}  // namespace
}  // namespace brimwick
