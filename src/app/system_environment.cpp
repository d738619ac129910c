#include "app/system_environment.h"

#include "platform/home.h"

namespace brimwick {

SystemEnvironment::SystemEnvironment()
    : focus_(processes_, windows_), loginItem_(XdgAutostartLoginItem::forCurrentUser()) {}

AppEnvironment SystemEnvironment::environment(MainQueue& main, WakeMonitor* wake) {
    AppEnvironment env;
    env.main = &main;
    env.clock = &clock_;
    env.preferences = &preferences_;
    env.probe = std::make_shared<SignalProcessProbe>();
    env.random = std::make_shared<SystemRandomSource>();
    env.usageFetch = backgroundUsageFetch();
    env.wake = wake;
    env.phone = PhoneLink::Services::real();
    env.loginItem = &loginItem_;
    env.focus = &focus_;
    env.home = homeDirectory();
    return env;
}

}  // namespace brimwick
