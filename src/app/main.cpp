// Process entry: the hooks command line, the headless text face, or (when built with Qt) the
// desktop face, which lives in a module loaded only then.
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/desktop_module.h"
#include "app/display_choice.h"
#include "app/headless_runner.h"
#include "app/hooks_cli.h"
#include "core/adopted_threads.h"
#include "platform/quit_signals.h"

namespace {

std::filesystem::path executablePath(const char* argv0) {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::absolute(argv0, error) : path;
}

bool hasWord(int argc, char** argv, const char* word) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], word) == 0) return true;
    }
    return false;
}

// The desktop face (when built with Qt and not asked for --headless) or the headless one. With
// no display to use (an SSH session, a container), the headless face starts in the desktop's
// place unless --desktop insists.
int runFace(int argc, char** argv) {
#ifdef BRIMWICK_DESKTOP_MODULE_DIR
    if (!hasWord(argc, argv, "--headless")) {
        if (!hasWord(argc, argv, "--desktop")) {
            if (const auto display = brimwick::chooseDisplay(); !display.ok()) {
                std::cerr << display.fallbackNotice() << std::endl;
                return brimwick::runHeadless(argc, argv);
            }
        }
        auto entry = brimwick::loadDesktopModule(brimwick::desktopModuleCandidates(
            executablePath(argv[0]), BRIMWICK_DESKTOP_MODULE_DIR));
        if (!entry) {
            std::cerr << "brimwick: " << entry.error().message
                      << ". Use --headless to run without the desktop.\n";
            return 1;
        }
        return (*entry)(argc, argv);
    }
#endif
    return brimwick::runHeadless(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "hooks") == 0) {
        return brimwick::runHooksCli(argc - 2, argv + 2, std::cout, std::cerr);
    }
    // Before any thread exists, so every thread inherits it: the faces take SIGINT and SIGTERM
    // on a signal thread of their own.
    brimwick::QuitSignals::block();
    const int status = runFace(argc, argv);
    // No thread of ours may still run while static destructors do.
    brimwick::joinAdoptedThreads();
    return status;
}
