#include "support/xvfb_display.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <vector>

#include "platform/terminal_opener.h"

extern char** environ;

namespace brimwick::testing {

XvfbDisplay::XvfbDisplay() {
    const char* path = std::getenv("PATH");
    const auto xvfb = findExecutable("Xvfb", path ? path : "/usr/bin:/bin");
    if (!xvfb) {
        problem_ = "Xvfb is not installed";
        return;
    }
    // -displayfd lets the server pick a free display and tells us once it is ready.
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        problem_ = "no pipe for Xvfb";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> arguments{
        "Xvfb",      "-displayfd", "3",
        "-screen",   "0",          std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24",
        "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int spawned =
        ::posix_spawn(&server_, xvfb->c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    if (spawned != 0) {
        server_ = -1;
        ::close(ready[0]);
        problem_ = "Xvfb could not be started";
        return;
    }

    std::string number;
    pollfd wait{ready[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && ::poll(&wait, 1, 30000) > 0) {
        char buffer[32];
        const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(ready[0]);
    if (number.find('\n') == std::string::npos) {
        problem_ = "Xvfb did not report a display";
        return;
    }
    name_ = ":" + number.substr(0, number.find('\n'));
}

XvfbDisplay::~XvfbDisplay() {
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        while (::waitpid(server_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace brimwick::testing
