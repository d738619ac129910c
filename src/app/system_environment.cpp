#include "app/system_environment.h"

#include <filesystem>

#include "platform/curl_http_client.h"
#include "platform/home.h"
#include "platform/host_name.h"
#include "platform/login_record.h"
#include "platform/network_address.h"
#include "platform/service_advertiser_avahi.h"
#include "sessions/session_launcher.h"

namespace brimwick {
namespace {

// The phone link on the real network: the default port on every interface, advertised over
// DNS-SD, codes from the secure random source, sessions opened in the user's terminal.
PhoneLink::Services realPhoneServices(const Clock& clock) {
    PhoneLink::Services services;
    // One advertiser for every server of the run; it outlives them through the captures.
    auto advertiser = std::make_shared<AvahiServiceAdvertiser>();
    services.makeServer = [advertiser, &clock](std::string hostName, std::set<std::string> tokens,
                                               std::string code, PhoneServer::Callbacks callbacks) {
        PhoneServer::Options options;
        options.advertise = [advertiser, hostName](std::uint16_t port) {
            advertiser->advertise(hostName, "_brimwick._tcp", port, {{"v", "1"}});
        };
        options.withdraw = [advertiser] { advertiser->withdraw(); };
        return PhoneServer::create(std::move(hostName), std::move(tokens), std::move(code),
                                   std::move(callbacks), clock, std::move(options));
    };
    services.localAddress = [] { return localIPv4(); };
    services.newCode = [] { return Pairing::secureCode().value_or(""); };
    services.launchSession = [](const std::string& folder, const std::string& prompt) {
        return session_launcher::open(folder, prompt);
    };
    services.isDirectory = [](const std::string& path) {
        std::error_code ignored;
        return std::filesystem::is_directory(path, ignored);
    };
    const auto hostName = localHostName();
    services.hostName = hostName && !hostName->empty() ? *hostName : "Linux computer";
    return services;
}

// The plan-usage fetch with curl, the login Claude Code keeps in its credentials file and the
// system clock.
usage_api::Options realUsageOptions() {
    usage_api::Options options;
    options.http = std::make_shared<CurlHttpClient>();
    auto record = std::make_shared<LoginRecordFile>(LoginRecordFile::defaultPath());
    options.loadCredentials = [record](std::stop_token stop) -> std::optional<Credentials> {
        const auto bytes = record->read(stop);
        return bytes ? Credentials::parse(*bytes) : std::nullopt;
    };
    options.clock = std::make_shared<SystemClock>();
    return options;
}

}  // namespace

SystemEnvironment::SystemEnvironment(std::string preferencesPath)
    : preferences_(std::move(preferencesPath)),
      focus_(processes_, windows_),
      loginItem_(XdgAutostartLoginItem::forCurrentUser()) {}

AppEnvironment SystemEnvironment::environment(MainQueue& main, WakeMonitor* wake) {
    AppEnvironment env;
    env.main = &main;
    env.clock = &clock_;
    env.preferences = &preferences_;
    env.probe = std::make_shared<SignalProcessProbe>();
    env.random = std::make_shared<SystemRandomSource>();
    env.usageFetch = backgroundUsageFetch(realUsageOptions());
    env.wake = wake;
    env.phone = realPhoneServices(clock_);
    env.loginItem = &loginItem_;
    env.focus = &focus_;
    env.home = homeDirectory();
    return env;
}

}  // namespace brimwick
