// The desktop face as a loadable module: the executable opens it only when the desktop is
// wanted, so the hooks command line and the headless face never map Qt.
#include "app/qt/desktop_app.h"
#include "core/adopted_threads.h"

extern "C" __attribute__((visibility("default"))) int brimwick_run_desktop(int argc, char** argv) {
    const int status = brimwick::runDesktop(argc, argv);
    // The module carries its own copy of the core, so its adopted threads are joined here.
    brimwick::joinAdoptedThreads();
    return status;
}
