// Replays every committed fuzz corpus file (fuzz/corpus/<target>/) through the same entry
// functions the fuzzers run, so inputs that once found a fault keep guarding against it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_targets.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

class CorpusReplay : public ::testing::TestWithParam<fuzz::NamedTarget> {};

TEST_P(CorpusReplay, EveryInputKeepsEveryPromise) {
    const fs::path folder = fs::path(BRIMWICK_SOURCE_DIR) / "fuzz" / "corpus" / GetParam().name;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    ASSERT_FALSE(files.empty()) << "no corpus in " << folder;
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        try {
            GetParam().run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        } catch (const fuzz::Broken& broken) {
            ADD_FAILURE() << file.filename() << ": " << broken.what();
        } catch (const std::exception& error) {
            ADD_FAILURE() << file.filename() << " threw " << error.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, ::testing::ValuesIn(fuzz::kTargets),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::erase(name, '_');
                             return name;
                         });

}  // namespace
}  // namespace brimwick
