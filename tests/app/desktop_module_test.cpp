#include "app/desktop_module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace brimwick {
namespace {

namespace fs = std::filesystem;

TEST(DesktopModuleCandidates, BuildTreeFirstThenTheInstalledFolder) {
    EXPECT_EQ(desktopModuleCandidates("/usr/bin/brimwick", "../lib/x86_64-linux-gnu/brimwick"),
              (std::vector<fs::path>{"/usr/bin/brimwick-desktop.so",
                                     "/usr/lib/x86_64-linux-gnu/brimwick/brimwick-desktop.so"}));
    EXPECT_EQ(desktopModuleCandidates("/opt/b/bin/brimwick", "/opt/b/lib"),
              (std::vector<fs::path>{"/opt/b/bin/brimwick-desktop.so",
                                     "/opt/b/lib/brimwick-desktop.so"}));
    // An installation that puts the module beside the executable is looked at once.
    EXPECT_EQ(desktopModuleCandidates("/opt/b/brimwick", "."),
              (std::vector<fs::path>{"/opt/b/brimwick-desktop.so"}));
}

TEST(DesktopModuleLoad, CallsTheFirstModuleThatExists) {
    const auto entry = loadDesktopModule({"/nonexistent/brimwick-desktop.so", ENTRY_MODULE});
    ASSERT_TRUE(entry) << entry.error().message;
    char name[] = "brimwick";
    char* argv[] = {name, nullptr};
    EXPECT_EQ((*entry)(1, argv), 41);
}

TEST(DesktopModuleLoad, ExplainsWhatWentWrong) {
    const auto missing = loadDesktopModule({"/nonexistent/a.so", "/nonexistent/b.so"});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message,
              "The desktop module was not found (looked at /nonexistent/a.so, /nonexistent/b.so)");

    const auto noEntry = loadDesktopModule({NO_ENTRY_MODULE});
    ASSERT_FALSE(noEntry);
    EXPECT_EQ(noEntry.error().message, std::string(NO_ENTRY_MODULE) + " has no desktop entry");

    // A damaged file is reported with the loader's reason, not taken for a missing one.
    const fs::path damaged =
        fs::temp_directory_path() / ("brimwick-damaged-" + std::to_string(::getpid()) + ".so");
    std::ofstream(damaged) << "not a shared object";
    const auto broken = loadDesktopModule({damaged, ENTRY_MODULE});
    fs::remove(damaged);
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().message.rfind("Could not load " + damaged.string() + ": ", 0), 0u)
        << broken.error().message;
}

}  // namespace
}  // namespace brimwick
