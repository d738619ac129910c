#include "core/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "support/scratch_folder.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
  protected:
    // Everything in the folder; a failed write must leave no temporary file behind.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(dir))
            out.push_back(entry.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }

    testing::ScratchFolder scratch{"brimwick-atomic"};
    const std::string dir = scratch.path().string(), file = dir + "/settings.json";
};

TEST_F(AtomicFileTest, WritesReplaceWholeFilesWithTheAskedMode) {
    const mode_t mask = ::umask(027);
    ASSERT_TRUE(writeFileAtomically(file, "old"));
    ::umask(mask);
    struct stat info {};
    ::stat(file.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "a plain create's mode, not mkstemp's 0600";
    ASSERT_TRUE(writeFileAtomically(file, std::string(200'000, 'n'), 0600));
    EXPECT_EQ(readFile(file).value(), std::string(200'000, 'n'));
    ::stat(file.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(names(), std::vector<std::string>{"settings.json"});

    EXPECT_EQ(readFile(dir + "/missing").error().code, "notFound");
    EXPECT_EQ(readFile(dir).error().code, "read");
    EXPECT_EQ(readFile(dir).error().message, "Couldn't read " + dir + ": Is a directory");
}

TEST_F(AtomicFileTest, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    ASSERT_TRUE(writeFileAtomically(file, "old"));
    // The disk fills up: the file size limit makes write() fail with EFBIG half-way.
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto full = writeFileAtomically(file, std::string(10'000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_FALSE(full);
    EXPECT_EQ(full.error().code, "write");
    EXPECT_EQ(full.error().message, "Couldn't write " + file + ": File too large");
    EXPECT_EQ(readFile(file).value(), "old");
    EXPECT_EQ(names(), std::vector<std::string>{"settings.json"});

    // The rename fails: a folder stands where the file should go.
    fs::create_directories(dir + "/taken/inside");
    const auto renamed = writeFileAtomically(dir + "/taken", "new");
    ASSERT_FALSE(renamed);
    EXPECT_EQ(renamed.error().message, "Couldn't write " + dir + "/taken: Is a directory");
    EXPECT_TRUE(fs::is_directory(dir + "/taken/inside"));
    EXPECT_EQ(names(), (std::vector<std::string>{"settings.json", "taken"}));

    // The temporary file cannot even be made.
    EXPECT_EQ(writeFileAtomically(dir + "/no/such/file", "x").error().message,
              "Couldn't write " + dir + "/no/such/file: No such file or directory");
}

}  // namespace
}  // namespace brimwick
