#include "support/app_test_environment.h"

#include "support/fake_process_probe.h"
#include "support/fake_random.h"

namespace brimwick::testing {

AppEnvironment appTestEnvironment(ManualMainQueue& main, Preferences& preferences,
                                  const std::filesystem::path& home) {
    AppEnvironment env;
    env.main = &main;
    env.clock = &main;
    env.preferences = &preferences;
    env.probe = std::make_shared<FakeProcessProbe>();
    env.random = std::make_shared<FakeRandom>();
    env.usageFetch = [](BackgroundTask&, std::function<void(UsageOutcome)> done) {
        done(UsageError::of(UsageError::Kind::signedOut));
    };
    env.phone.makeServer = [](auto, auto, auto, auto) { return nullptr; };
    env.phone.localAddress = [] { return std::optional<std::string>("192.0.2.10"); };
    env.phone.newCode = [] { return std::string("123456"); };
    env.phone.launchSession = [](const std::string&, const std::string&) -> Result<void> {
        return Error{"test", "tests open no terminals"};
    };
    env.phone.isDirectory = [](const std::string&) { return false; };
    env.phone.hostName = "Test Box";
    env.home = home.string();
    env.hookServer.port = 0;
    return env;
}

}  // namespace brimwick::testing
