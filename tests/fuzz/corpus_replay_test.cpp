// Replays every committed fuzz corpus file (fuzz/corpus/<target>/) through the same entry
// functions the fuzzers run, so inputs that once found a fault keep guarding against it.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/atomic_file.h"
#include "fuzz_targets.h"

namespace brimwick {
namespace {

TEST(CorpusReplay, EveryInputKeepsEveryPromise) {
    for (const auto& [name, run] : fuzz::kTargets) {
        const auto folder = std::filesystem::path(BRIMWICK_SOURCE_DIR) / "fuzz" / "corpus" / name;
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            ++files;
            try {
                run(readFile(entry.path()).value());
            } catch (const std::exception& error) {
                ADD_FAILURE() << name << "/" << entry.path().filename() << ": " << error.what();
            }
        }
        EXPECT_GT(files, 0) << "no corpus in " << folder;
    }
}

}  // namespace
}  // namespace brimwick
