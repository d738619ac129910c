#include "support/xvfb_display.h"

#include <csignal>
#include <cstdlib>

#include "platform/terminal_opener.h"
#include "support/child_process.h"

namespace brimwick::testing {

XvfbDisplay::XvfbDisplay() {
    const char* path = std::getenv("PATH");
    const auto xvfb = findExecutable("Xvfb", path ? path : "/usr/bin:/bin");
    if (!xvfb) {
        problem_ = "Xvfb is not installed";
        return;
    }
    // -displayfd picks a free display and tells its number once the server is ready.
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "/bin/sh", "-c",
        "exec '" + *xvfb + "' -displayfd 1 -screen 0 " + std::to_string(kWidth) + "x" +
            std::to_string(kHeight) + "x24 -nolisten tcp 2>/dev/null"});
    const auto number = server_->readLine(30);
    if (!number || number->empty()) {
        problem_ = "Xvfb did not report a display";
        return;
    }
    name_ = ":" + *number;
}

XvfbDisplay::~XvfbDisplay() {
    if (server_) server_->stop(SIGTERM);
}

}  // namespace brimwick::testing
