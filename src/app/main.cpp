// Process entry: the hooks command line, the headless text face, or (when built with Qt) the
// desktop face.
#include <cstring>
#include <iostream>

#include "app/headless_runner.h"
#include "app/hooks_cli.h"
#ifdef BRIMWICK_HAS_QT
#include "app/qt/desktop_app.h"
#endif

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "hooks") == 0) {
        return brimwick::runHooksCli(argc - 2, argv + 2, std::cout, std::cerr);
    }
#ifdef BRIMWICK_HAS_QT
    bool headless = false;
    for (int i = 1; i < argc; ++i) headless = headless || std::strcmp(argv[i], "--headless") == 0;
    if (!headless) return brimwick::runDesktop(argc, argv);
#endif
    return brimwick::runHeadless(argc, argv);
}
