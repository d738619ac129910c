// Process entry: the hooks command line, the headless text face, or (when built with Qt) the
// desktop face, which lives in a module loaded only then.
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/desktop_module.h"
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

// The desktop face (when built with Qt and not asked for --headless) or the headless one.
int runFace(int argc, char** argv) {
#ifdef BRIMWICK_DESKTOP_MODULE_DIR
    bool headless = false;
    for (int i = 1; i < argc; ++i) headless = headless || std::strcmp(argv[i], "--headless") == 0;
    if (!headless) {
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
