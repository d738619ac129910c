// Reading Claude Code's login: keychain tool first (a stand-in script here), then the file.
#include "usage/credentials.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "support/eventually.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFileRecord =
    R"({"claudeAiOauth":{"accessToken":"file-token","expiresAt":1750000000000}})";

class CredentialsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "brimwick-credentials-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        sources.keychainTool = (dir / "no-such-tool").string();
        sources.file = (dir / ".credentials.json").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

    // A stand-in for the keychain tool: a shell script with the given body.
    void keychainScript(const std::string& body) {
        const fs::path tool = dir / "security";
        write(tool, "#!/bin/sh\n" + body + "\n");
        ::chmod(tool.c_str(), 0755);
        sources.keychainTool = tool.string();
    }

    fs::path dir;
    CredentialSources sources;
};

TEST_F(CredentialsTest, KeychainComesBeforeTheFile) {
    write(sources.file, kFileRecord);
    keychainScript(R"(echo '{"claudeAiOauth":{"accessToken":"keychain-token"}}')");
    const auto credentials = Credentials::load(sources);
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->accessToken, "keychain-token");
    EXPECT_EQ(credentials->expiresAt, std::nullopt);
}

TEST_F(CredentialsTest, KeychainToolGetsExactlyTheFourArguments) {
    const auto log = (dir / "args").string();
    keychainScript("for a in \"$@\"; do printf '[%s]' \"$a\" >> '" + log +
                   "'; done\necho 'noise' >&2\n"
                   "echo '{\"claudeAiOauth\":{\"accessToken\":\"k\"}}'");
    EXPECT_EQ(Credentials::keychain(sources.keychainTool, 10).value_or(""),
              "{\"claudeAiOauth\":{\"accessToken\":\"k\"}}\n");  // untrimmed, no stderr
    std::ifstream in(log);
    const std::string args((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(args, "[find-generic-password][-s][Claude Code-credentials][-w]");
}

TEST_F(CredentialsTest, FailingOrUselessKeychainFallsBackToTheFile) {
    write(sources.file, kFileRecord);
    for (const char* body :
         {"echo '{\"claudeAiOauth\":{\"accessToken\":\"k\"}}'; exit 44",  // no such item
          "exit 0",                                                       // prints nothing
          "echo 'not json'",                                              // unparsable
          "echo '{\"claudeAiOauth\":{\"accessToken\":\"\"}}'",            // empty token
          "kill -9 $$"}) {
        keychainScript(body);
        const auto credentials = Credentials::load(sources);
        ASSERT_TRUE(credentials) << body;
        EXPECT_EQ(credentials->accessToken, "file-token") << body;
        EXPECT_EQ(credentials->expiresAt, 1'750'000'000.0);
    }
}

TEST_F(CredentialsTest, MissingToolMeansFileOnly) {
    EXPECT_EQ(Credentials::keychain(sources.keychainTool, 10), std::nullopt);
    write(sources.file, kFileRecord);
    EXPECT_EQ(Credentials::load(sources)->accessToken, "file-token");
}

TEST_F(CredentialsTest, NeitherSourceIsSignedOut) {
    EXPECT_EQ(Credentials::load(sources), std::nullopt);
    keychainScript("exit 1");
    EXPECT_EQ(Credentials::load(sources), std::nullopt);
    write(sources.file, "{}");
    EXPECT_EQ(Credentials::load(sources), std::nullopt);
}

TEST_F(CredentialsTest, HangingKeychainToolIsKilledAfterTheTimeOut) {
    write(sources.file, kFileRecord);
    const auto child = (dir / "child.pid").string();
    // Prints a valid record, then hangs in a child process that also holds the pipe open.
    keychainScript("echo '{\"claudeAiOauth\":{\"accessToken\":\"k\"}}'\nsleep 30 &\necho $! > '" +
                   child + "'\nwait");
    sources.keychainTimeout = 0.3;
    const auto started = std::chrono::steady_clock::now();
    const auto credentials = Credentials::load(sources);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->accessToken, "file-token");  // partial output is not trusted
    EXPECT_LT(took, 5.0) << "the watchdog did not end the tool";

    std::ifstream in(child);
    pid_t pid = 0;
    ASSERT_TRUE(in >> pid);
    // The grandchild was in the tool's process group and got the signal too (it may linger
    // as a zombie until reaped by init, so look at its state, not only its existence).
    // The signal is on its way when load() returns; give the process a moment to act on it.
    std::string line;
    for (int i = 0; i < 400; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        if (!std::getline(stat, line)) return;  // gone altogether
        const auto state = line.substr(line.rfind(')') + 2, 1);
        if (state == "Z" || state == "X") return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ADD_FAILURE() << "the tool's child is still running: " << line;
}

TEST_F(CredentialsTest, ToolIgnoringTerminationIsKilledHard) {
    keychainScript("trap '' TERM\necho partial\nsleep 30");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Credentials::keychain(sources.keychainTool, 0.2), std::nullopt);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(took, 6.0);
}

TEST_F(CredentialsTest, StopRequestEndsAHangingKeychainToolAtOnce) {
    const auto started = (dir / "started").string();
    keychainScript("touch '" + started + "'\nexec sleep 60");
    std::stop_source stop;
    auto lookup = std::async(std::launch::async, [&] {
        return Credentials::keychain(sources.keychainTool, 60, stop.get_token());
    });
    ASSERT_TRUE(testing::eventually([&] { return fs::exists(started); }));
    stop.request_stop();
    ASSERT_TRUE(testing::eventually(
        [&] { return lookup.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(lookup.get(), std::nullopt);
}

TEST_F(CredentialsTest, KeychainToolStartsWithNoSignalBlocked) {
    // Brimwick's threads block SIGINT and SIGTERM; the tool must still be able to get them.
    sigset_t quit, before;
    sigemptyset(&quit);
    sigaddset(&quit, SIGTERM);
    sigaddset(&quit, SIGINT);
    ::pthread_sigmask(SIG_BLOCK, &quit, &before);
    keychainScript("exec grep SigBlk /proc/self/status");
    const auto output = Credentials::keychain(sources.keychainTool, 10);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    EXPECT_EQ(output, "SigBlk:\t0000000000000000\n");
}

TEST(CredentialsParse, ReadsTokenAndMillisecondExpiry) {
    const auto parsed = Credentials::parse(
        R"({"claudeAiOauth":{"accessToken":"abc","expiresAt":1750000000123,"scopes":[]},"x":1})"
        "\n\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->accessToken, "abc");
    EXPECT_DOUBLE_EQ(*parsed->expiresAt, 1'750'000'000.123);
    EXPECT_EQ(Credentials::parse(R"({"claudeAiOauth":{"accessToken":"a","expiresAt":1.5e12}})")
                  ->expiresAt,
              1.5e9);
}

TEST(CredentialsParse, ExpiryThatIsNotANumberIsUnknown) {
    for (const char* expiry : {R"("1750000000000")", "null", "true", "{}"}) {
        const auto parsed = Credentials::parse(
            std::string(R"({"claudeAiOauth":{"accessToken":"abc","expiresAt":)") + expiry + "}}");
        ASSERT_TRUE(parsed) << expiry;
        EXPECT_EQ(parsed->expiresAt, std::nullopt) << expiry;
    }
    EXPECT_EQ(Credentials::parse(R"({"claudeAiOauth":{"accessToken":"abc"}})")->expiresAt,
              std::nullopt);
}

TEST(CredentialsParse, UnusableRecordsAreNoCredentials) {
    for (const char* bytes :
         {"", "   ", "not json", "[]", "\"abc\"", "{}", R"({"claudeAiOauth":null})",
          R"({"claudeAiOauth":"abc"})", R"({"claudeAiOauth":{}})",
          R"({"claudeAiOauth":{"accessToken":""}})", R"({"claudeAiOauth":{"accessToken":42}})",
          R"({"claudeAiOauth":{"accessToken":null}})", R"({"accessToken":"abc"})",
          R"({"claudeAiOauth":{"accessToken":"abc"}} trailing)",
          // would break out of the Authorization header line
          R"({"claudeAiOauth":{"accessToken":"abc\r\nX-Evil: 1"}})"}) {
        EXPECT_EQ(Credentials::parse(bytes), std::nullopt) << bytes;
    }
}

}  // namespace
}  // namespace brimwick
