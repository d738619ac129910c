// ScratchFolder: an empty folder under the temporary directory for one test, removed with
// everything in it when the test ends, also when it fails half-way.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace brimwick::testing {

class ScratchFolder {
  public:
    // The folder is named `prefix` plus a unique suffix.
    explicit ScratchFolder(const std::string& prefix) {
        std::string pattern = std::filesystem::temp_directory_path() / (prefix + "-XXXXXX");
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace brimwick::testing
