#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <filesystem>
#include <fstream>

#include "app/qt/desktop_settings.h"
#include "support/scratch_folder.h"

namespace brimwick {
namespace {

void writeKdeGlobals(const std::filesystem::path& config, const std::string& factor) {
    // As KDE does: a new file put in place of the old one.
    const auto file = config / "kdeglobals";
    std::ofstream(file.string() + ".new") << "[KDE]\nAnimationDurationFactor=" << factor << "\n";
    std::filesystem::rename(file.string() + ".new", file);
}

bool waitFor(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(10000);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return condition();
}

TEST(ReduceMotionWatcher, FollowsTheDesktopSettingWhileRunning) {
    testing::ScratchFolder config("brimwick-motion");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path().string()));
    qunsetenv("BRIMWICK_REDUCE_MOTION");
    std::vector<bool> seen;
    {
        ReduceMotionWatcher watcher([&](bool on) { seen.push_back(on); });
        EXPECT_FALSE(watcher.current());
        writeKdeGlobals(config.path(), "0");
        ASSERT_TRUE(waitFor([&] { return seen.size() == 1; }));
        EXPECT_TRUE(watcher.current());
        writeKdeGlobals(config.path(), "1.0");
        ASSERT_TRUE(waitFor([&] { return seen.size() == 2; }));
    }
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));

    // The environment variable wins for the whole run.
    qputenv("BRIMWICK_REDUCE_MOTION", "1");
    ReduceMotionWatcher insisted([&](bool on) { seen.push_back(on); });
    EXPECT_TRUE(insisted.current());
    qunsetenv("BRIMWICK_REDUCE_MOTION");
    qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace brimwick
