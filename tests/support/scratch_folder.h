// ScratchFolder: an empty folder under the temporary directory for one test, removed with
// everything in it when the test ends, also when it fails half-way.
#pragma once

#include <filesystem>
#include <string>

namespace brimwick::testing {

class ScratchFolder {
  public:
    // The folder is named `prefix` plus a unique suffix.
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace brimwick::testing
