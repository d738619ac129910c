#include "platform/quit_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>

namespace brimwick {
namespace {

sigset_t quitSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void QuitSignals::block() {
    const sigset_t set = quitSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

QuitSignals::QuitSignals(std::function<void()> onQuit) {
    const sigset_t set = quitSet();
    signals_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    if (signals_ >= 0 && stop_ >= 0) {
        try {
            thread_ = std::thread([this, onQuit = std::move(onQuit)] {
                pollfd fds[2] = {{signals_, POLLIN, 0}, {stop_, POLLIN, 0}};
                for (;;) {
                    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
                    if (fds[1].revents) return;
                    signalfd_siginfo info;
                    if (fds[0].revents && ::read(signals_, &info, sizeof info) == sizeof info) {
                        onQuit();
                        return;
                    }
                }
            });
            return;
        } catch (const std::system_error&) {
        }
    }
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

QuitSignals::~QuitSignals() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        (void)!::write(stop_, &one, sizeof one);
        thread_.join();
    }
    if (signals_ >= 0) ::close(signals_);
    if (stop_ >= 0) ::close(stop_);
}

}  // namespace brimwick
