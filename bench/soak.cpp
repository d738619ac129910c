// Load and soak: the whole application in this process (App with its real hook server,
// session store, phone link and phone server, on loopback ports of its own) under
// 100,000 hook posts from 32 concurrent clients, while 50 phone stand-ins long-poll the status
// and one more phone pairs, answers every permission request and queues prompts.
//
// It checks that nothing is lost: every session's prompts reach the store gapless and in the
// order they were posted, every permission request gets exactly one answer (the phone's), every
// prompt the phone queued is handed over exactly once by a stop hook. It prints requests per
// second, p50/p99 latency and resident memory before, during and after the load, and exits 1
// when anything was lost. Everything stops by itself within a few minutes.
//
// Usage: soak [total posts] [clients]     (defaults 100000 and 32)
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/system_environment.h"
#include "core/random_source.h"
#include "platform/asio_main_queue.h"
#include "platform/process_probe.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Steady = std::chrono::steady_clock;

constexpr int kSessionsPerClient = 4;
constexpr int kStandIns = 50;
constexpr double kStandInThinkSeconds = 0.05;  // a phone's own round trip between polls
constexpr double kDeadlineSeconds = 1200;      // the whole run, however slow the machine
constexpr const char* kCode = "123456";
constexpr const char* kIntro =
    "The user sent this message from their phone (through Brimwick). Treat it as their next "
    "prompt:\n\n";

// --- A blocking loopback HTTP exchange: one request per connection, read until closed. ---

struct Answer {
    int status = 0;  // 0: no HTTP answer
    std::string body;
};

Answer roundTrip(std::uint16_t port, const std::string& request, double timeoutSeconds = 150) {
    Answer answer;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return answer;
    timeval timeout{};
    timeout.tv_sec = static_cast<long>(timeoutSeconds);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return answer;
    }
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (bytes.rfind("HTTP/1.1 ", 0) != 0 || bytes.size() < 12) return answer;
    answer.status = std::atoi(bytes.c_str() + 9);
    const auto blank = bytes.find("\r\n\r\n");
    if (blank != std::string::npos) answer.body = bytes.substr(blank + 4);
    return answer;
}

std::string post(const std::string& path, const std::string& body, const std::string& extra) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
           extra + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string get(const std::string& path, const std::string& token) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
           "\r\n\r\n";
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

double seconds(Steady::duration d) {
    return std::chrono::duration<double>(d).count();
}

double percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

class QuietFace final : public AppFace {
  public:
    void rebuildMenu() override { ++rebuilds; }
    void showIconState(std::optional<BotState>) override {}
    void alert(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "alert: %s: %s\n", title.c_str(), text.c_str());
    }
    void beep() override {}
    long rebuilds = 0;
};

// What the load threads found; each counter is one kind of loss or fault.
struct Tally {
    std::mutex mutex;
    std::vector<double> hookLatencies;        // seconds, ordinary posts (answered at once)
    std::vector<double> stopLatencies;        // seconds, stop hooks (answered by the main thread)
    std::vector<double> permissionLatencies;  // seconds, post to the phone's answer
    std::multiset<std::string> queuedByPhone, handedOver;
    std::atomic<long> posts{0}, failedPosts{0}, permissions{0}, permissionAnswers{0},
        wrongAnswers{0}, unansweredPermissions{0}, stops{0}, polls{0}, badPolls{0}, decisions{0},
        refusedPrompts{0};
};

struct Ports {
    std::uint16_t hook = 0;
    std::uint16_t phone = 0;
};

// Counts the prompts a stop's answer hands over (they arrive joined by blank lines). The caller
// holds the tally's lock.
void noteHandedOver(const Answer& answer, Tally& tally) {
    if (answer.status != 200) return;
    const auto body = json::parse(answer.body, nullptr, false);
    std::string reason = body.is_object() ? body.value("reason", "") : "";
    if (reason.rfind(kIntro, 0) != 0) return;
    reason.erase(0, std::string(kIntro).size());
    for (std::size_t at = 0;;) {
        const auto next = reason.find("\n\n", at);
        tally.handedOver.insert(reason.substr(at, next - at));
        if (next == std::string::npos) break;
        at = next + 2;
    }
}

// One Claude Code stand-in: its own sessions, one request at a time, as a terminal would.
void runClient(int client, long posts, const Ports& ports, Tally& tally,
               std::vector<long>& lastPrompt) {
    const std::string pid = "X-Claude-PID: " + std::to_string(::getpid()) + "\r\n";
    std::vector<long> step(kSessionsPerClient, 0), prompt(kSessionsPerClient, 0);
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(posts));
    for (long i = 0; i < posts; ++i) {
        const int k = static_cast<int>(i % kSessionsPerClient);
        const long s = ++step[k];
        const std::string id = "soak-" + std::to_string(client) + "-" + std::to_string(k);
        json payload = {{"session_id", id}, {"cwd", "/srv/soak/project-" + std::to_string(k)}};
        std::string path = "/hook";
        if (s % 40 == 39) {
            path = "/stop";
            payload["hook_event_name"] = "Stop";
        } else if (s % 40 == 20) {
            path = "/permission";
            payload["hook_event_name"] = "PermissionRequest";
            payload["tool_name"] = "Bash";
            payload["tool_input"] = {{"command", "make check " + std::to_string(s)}};
        } else if (s % 3 == 0) {
            payload["hook_event_name"] = "UserPromptSubmit";
            payload["prompt"] = "n " + std::to_string(++prompt[k]);
        } else {
            payload["hook_event_name"] = s % 3 == 1 ? "PreToolUse" : "PostToolUse";
            payload["tool_name"] = "Read";
            payload["tool_input"] = {{"file_path", "/srv/soak/file-" + std::to_string(s)}};
        }
        const auto started = Steady::now();
        const Answer answer = roundTrip(ports.hook, post(path, payload.dump(), pid));
        const double took = seconds(Steady::now() - started);
        tally.posts++;
        if (answer.status == 0) tally.failedPosts++;
        if (path == "/permission") {
            tally.permissions++;
            // The phone allows even sessions and denies odd ones.
            const bool allow = k % 2 == 0;
            if (answer.status == 200) {
                tally.permissionAnswers++;
                const bool said = answer.body.find(R"("behavior":"allow")") != std::string::npos;
                const bool denied = answer.body.find(R"("behavior":"deny")") != std::string::npos;
                if (said != allow || denied == allow) tally.wrongAnswers++;
            } else {
                tally.unansweredPermissions++;
            }
            std::lock_guard lock(tally.mutex);
            tally.permissionLatencies.push_back(took);
        } else {
            if (path != "/stop") latencies.push_back(took);
            if (path == "/stop") {
                tally.stops++;
                std::lock_guard lock(tally.mutex);
                tally.stopLatencies.push_back(took);
                noteHandedOver(answer, tally);
            }
        }
    }
    for (int k = 0; k < kSessionsPerClient; ++k) {
        lastPrompt[static_cast<std::size_t>(client * kSessionsPerClient + k)] = prompt[k];
    }
    std::lock_guard lock(tally.mutex);
    tally.hookLatencies.insert(tally.hookLatencies.end(), latencies.begin(), latencies.end());
}

// A final stop for every session hands over whatever the phone queued last.
void drainClient(int client, const Ports& ports, Tally& tally) {
    for (int k = 0; k < kSessionsPerClient; ++k) {
        const std::string id = "soak-" + std::to_string(client) + "-" + std::to_string(k);
        const Answer answer = roundTrip(
            ports.hook,
            post("/stop", json{{"session_id", id}, {"hook_event_name", "Stop"}}.dump(), ""));
        std::lock_guard lock(tally.mutex);
        noteHandedOver(answer, tally);
    }
}

// The phone that pairs: long-polls, decides every pending request, queues prompts.
void runDecider(const Ports& ports, const std::string& token, std::atomic<bool>& queueing,
                std::atomic<bool>& done, Tally& tally) {
    long long version = -1;
    std::set<std::string> decided;
    long snapshots = 0, queued = 0;
    while (!done) {
        const Answer answer =
            roundTrip(ports.phone, get("/status?v=" + std::to_string(version), token), 30);
        if (answer.status != 200) {
            if (!done) tally.badPolls++;
            continue;
        }
        const auto snapshot = json::parse(answer.body, nullptr, false);
        if (!snapshot.is_object()) continue;
        version = snapshot.value("version", -1LL);
        ++snapshots;
        if (!snapshot.contains("sessions") || !snapshot["sessions"].is_array()) continue;
        for (const auto& session : snapshot["sessions"]) {
            const auto& pending = session["pending"];
            if (!pending.is_object()) continue;
            const std::string id = pending.value("id", "");
            if (id.empty() || !decided.insert(id).second) continue;
            const std::string sessionId = session.value("id", "");
            const bool even = !sessionId.empty() && (sessionId.back() - '0') % 2 == 0;
            const std::string body = json{{"id", id}, {"decision", even ? "allow" : "deny"}}.dump();
            if (roundTrip(ports.phone,
                          post("/decide", body, "Authorization: Bearer " + token + "\r\n"))
                    .status == 202) {
                tally.decisions++;
            }
        }
        // Every tenth snapshot, a prompt for the first session that is working.
        if (queueing && snapshots % 10 == 0) {
            for (const auto& session : snapshot["sessions"]) {
                if (session.value("state", "") == "finished") continue;
                const std::string text = "q " + std::to_string(++queued);
                const std::string body =
                    json{{"session", session.value("id", "")}, {"text", text}}.dump();
                const Answer sent = roundTrip(
                    ports.phone, post("/prompt", body, "Authorization: Bearer " + token + "\r\n"));
                if (sent.status == 202) {
                    std::lock_guard lock(tally.mutex);
                    tally.queuedByPhone.insert(text);
                } else {
                    tally.refusedPrompts++;
                }
                break;
            }
        }
    }
}

// A phone that only watches.
void runStandIn(const Ports& ports, const std::string& token, std::atomic<bool>& done,
                Tally& tally) {
    long long version = -1;
    while (!done) {
        const Answer answer =
            roundTrip(ports.phone, get("/status?v=" + std::to_string(version), token), 30);
        tally.polls++;
        if (answer.status != 200 && !done) {
            tally.badPolls++;
        } else if (const auto snapshot = json::parse(answer.body, nullptr, false);
                   snapshot.is_object()) {
            version = snapshot.value("version", -1LL);
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(kStandInThinkSeconds));
    }
}

}  // namespace
}  // namespace brimwick

int main(int argc, char** argv) {
    using namespace brimwick;
    const long total = argc > 1 ? std::atol(argv[1]) : 100'000;
    const int clients = argc > 2 ? std::atoi(argv[2]) : 32;
    if (total <= 0 || clients <= 0) {
        std::fprintf(stderr, "usage: soak [total posts] [clients]\n");
        return 2;
    }
    // A run that wedges is a failure too, not a hang.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::duration<double>(kDeadlineSeconds));
        std::fprintf(stderr, "soak: still running after %.0f s, giving up\n", kDeadlineSeconds);
        std::_Exit(3);
    }).detach();

    std::string scratchPattern = (fs::temp_directory_path() / "brimwick-soak-XXXXXX").string();
    if (!::mkdtemp(scratchPattern.data())) return 2;
    const fs::path scratch = scratchPattern;

    SystemEnvironment system((scratch / "preferences.json").string());
    std::vector<std::string> standInTokens;
    json devices = json::object();
    for (int i = 0; i < kStandIns; ++i) {
        standInTokens.push_back(PhoneServer::randomToken().value());
        devices[standInTokens.back()] = "Stand-in " + std::to_string(i + 1);
    }
    system.preferences().setValue(PhoneLink::kEnabledKey, true);
    system.preferences().setValue(Pairing::kDevicesKey, devices);

    asio::io_context context;
    auto work = asio::make_work_guard(context);
    AsioMainQueue queue(context);
    QuietFace face;

    AppEnvironment env = system.environment(queue);
    env.usageFetch = [](BackgroundTask&, std::function<void(UsageOutcome)> done) {
        done(UsageError::of(UsageError::Kind::signedOut));  // no network here
    };
    env.phone.makeServer = [&system](std::string host, std::set<std::string> tokens,
                                     std::string code, PhoneServer::Callbacks callbacks) {
        PhoneServer::Options options;
        options.port = 0;
        options.address = "127.0.0.1";
        return PhoneServer::create(std::move(host), std::move(tokens), std::move(code),
                                   std::move(callbacks), system.clock(), options);
    };
    env.phone.localAddress = [] { return std::optional<std::string>("192.0.2.10"); };
    env.phone.newCode = [] { return std::string(kCode); };
    env.phone.hostName = "Soak";
    env.phone.launchSession = [](const std::string&, const std::string&) { return Result<void>(); };
    env.phone.isDirectory = [](const std::string&) { return true; };
    env.home = scratch.string();
    env.hookServer.port = 0;

    auto app = App::launch(env, face);
    app->phone().issueCode();
    context.poll();
    Ports ports;
    ports.hook = app->server() ? app->server()->port() : 0;
    ports.phone = app->phone().server() ? app->phone().server()->port() : 0;
    if (!ports.hook || !ports.phone) {
        std::fprintf(stderr, "soak: servers did not start (%s)\n", app->serverStatus().c_str());
        return 2;
    }

    // Every prompt a session shows must be the one after the last it showed.
    std::map<std::string, long> seen;
    long orderFaults = 0, promptsApplied = 0;
    auto watch = app->store().changed.connect([&](const SessionChange& change) {
        if (change.kind != SessionChange::Kind::inserted &&
            change.kind != SessionChange::Kind::updated) {
            return;
        }
        const auto session = app->store().session(change.id);
        if (!session || !session->task || session->task->rfind("n ", 0) != 0) return;
        const long n = std::atol(session->task->c_str() + 2);
        long& last = seen[change.id];
        if (n == last) return;
        if (n != last + 1) ++orderFaults;
        last = n;
        ++promptsApplied;
    });

    Tally tally;
    std::vector<long> lastPrompt(static_cast<std::size_t>(clients * kSessionsPerClient), 0);
    std::atomic<long> rssBefore{0}, rssPeak{0}, rssAfter{0};
    double loadSeconds = 0;
    std::string pairError;

    std::thread driver([&] {
        rssBefore = residentKiB();
        // Pair the deciding phone first: permission requests only wait for a paired phone.
        const Answer paired = roundTrip(
            ports.phone, post("/pair", json{{"code", kCode}, {"device", "Soak phone"}}.dump(), ""));
        const auto pairBody = json::parse(paired.body, nullptr, false);
        if (paired.status != 200 || !pairBody.is_object() || !pairBody.contains("token")) {
            pairError = "pairing answered " + std::to_string(paired.status);
            asio::post(context, [&] {
                work.reset();
                context.stop();
            });
            return;
        }
        const std::string token = pairBody["token"];

        std::atomic<bool> done{false}, queueing{true}, sampling{true};
        std::vector<std::thread> phones;
        for (const auto& standIn : standInTokens) {
            phones.emplace_back(runStandIn, std::cref(ports), standIn, std::ref(done),
                                std::ref(tally));
        }
        phones.emplace_back(runDecider, std::cref(ports), token, std::ref(queueing), std::ref(done),
                            std::ref(tally));
        std::thread sampler([&] {
            for (int tick = 1; sampling; ++tick) {
                rssPeak = std::max(rssPeak.load(), residentKiB());
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (tick % 100 == 0) {
                    std::fprintf(
                        stderr, "soak: %ld posts, %ld of %ld permissions answered, %ld KiB\n",
                        tally.posts.load(), tally.permissionAnswers + tally.unansweredPermissions,
                        tally.permissions.load(), residentKiB());
                }
            }
        });
        // Let the phones connect before the load starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));

        const auto started = Steady::now();
        std::vector<std::thread> workers;
        for (int c = 0; c < clients; ++c) {
            const long share = total / clients + (c < total % clients ? 1 : 0);
            workers.emplace_back(runClient, c, share, std::cref(ports), std::ref(tally),
                                 std::ref(lastPrompt));
        }
        for (auto& w : workers) w.join();
        loadSeconds = seconds(Steady::now() - started);

        // Stop queueing, let the last prompt requests land, then hand everything over.
        queueing = false;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        workers.clear();
        for (int c = 0; c < clients; ++c) {
            workers.emplace_back(drainClient, c, std::cref(ports), std::ref(tally));
        }
        for (auto& w : workers) w.join();
        sampling = false;
        sampler.join();
        // Fresh snapshots wake the phones' waiting polls, so each sees `done` soon.
        done = true;
        std::atomic<bool> joined{false};
        std::thread waker([&] {
            while (!joined) {
                asio::post(context, [&] { app->publishToPhone(); });
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        for (auto& p : phones) p.join();
        joined = true;
        waker.join();

        std::this_thread::sleep_for(std::chrono::seconds(3));
        ::malloc_trim(0);
        rssAfter = residentKiB();
        asio::post(context, [&] {
            work.reset();
            context.stop();
        });
    });
    context.run();
    driver.join();
    if (!pairError.empty()) {
        std::fprintf(stderr, "soak: %s\n", pairError.c_str());
        return 2;
    }

    // Prompts the store never showed, by session.
    long lostPrompts = 0;
    for (int c = 0; c < clients; ++c) {
        for (int k = 0; k < kSessionsPerClient; ++k) {
            const std::string id = "soak-" + std::to_string(c) + "-" + std::to_string(k);
            lostPrompts += lastPrompt[static_cast<std::size_t>(c * kSessionsPerClient + k)] -
                           (seen.count(id) ? seen[id] : 0);
        }
    }
    std::multiset<std::string> notHandedOver, handedTwice;
    std::set_difference(tally.queuedByPhone.begin(), tally.queuedByPhone.end(),
                        tally.handedOver.begin(), tally.handedOver.end(),
                        std::inserter(notHandedOver, notHandedOver.end()));
    std::set_difference(tally.handedOver.begin(), tally.handedOver.end(),
                        tally.queuedByPhone.begin(), tally.queuedByPhone.end(),
                        std::inserter(handedTwice, handedTwice.end()));

    std::printf("soak: %ld posts from %d clients in %.1f s: %.0f requests/s\n", tally.posts.load(),
                clients, loadSeconds, tally.posts / loadSeconds);
    std::printf("  hook post latency      p50 %7.2f ms  p99 %7.2f ms  (%zu posts)\n",
                percentile(tally.hookLatencies, 0.50) * 1e3,
                percentile(tally.hookLatencies, 0.99) * 1e3, tally.hookLatencies.size());
    std::printf("  stop hook latency      p50 %7.2f ms  p99 %7.2f ms  (%zu stops)\n",
                percentile(tally.stopLatencies, 0.50) * 1e3,
                percentile(tally.stopLatencies, 0.99) * 1e3, tally.stopLatencies.size());
    std::printf("  permission via phone   p50 %7.2f ms  p99 %7.2f ms  (%ld requests)\n",
                percentile(tally.permissionLatencies, 0.50) * 1e3,
                percentile(tally.permissionLatencies, 0.99) * 1e3, tally.permissions.load());
    std::printf(
        "  phones: %d stand-ins made %ld polls; the paired phone decided %ld, queued %zu "
        "prompts (%ld refused for ended sessions)\n",
        kStandIns, tally.polls.load(), tally.decisions.load(), tally.queuedByPhone.size(),
        tally.refusedPrompts.load());
    std::printf("  resident memory: before %ld KiB, peak during %ld KiB, after %ld KiB\n",
                rssBefore.load(), rssPeak.load(), rssAfter.load());
    std::printf("  prompts applied in order: %ld; out of order %ld; lost %ld\n", promptsApplied,
                orderFaults, lostPrompts);
    std::printf(
        "  permission requests: %ld, answered by the phone %ld, unanswered %ld, wrong "
        "answer %ld\n",
        tally.permissions.load(), tally.permissionAnswers.load(),
        tally.unansweredPermissions.load(), tally.wrongAnswers.load());
    std::printf("  queued prompts handed over: %zu of %zu; never %zu; unexpected %zu\n",
                tally.handedOver.size(), tally.queuedByPhone.size(), notHandedOver.size(),
                handedTwice.size());
    std::printf("  failed posts %ld, failed phone polls %ld\n", tally.failedPosts.load(),
                tally.badPolls.load());

    const long lost = orderFaults + lostPrompts + tally.failedPosts + tally.wrongAnswers +
                      tally.unansweredPermissions + tally.badPolls +
                      static_cast<long>(notHandedOver.size() + handedTwice.size()) +
                      (tally.permissionAnswers != tally.permissions ? 1 : 0);
    std::printf("soak: %s (%ld lost or wrong)\n", lost == 0 ? "nothing lost" : "LOST", lost);

    watch.reset();
    app.reset();
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return lost == 0 ? 0 : 1;
}
