// XvfbDisplay: a private virtual X server for tests that need a display.
#pragma once

#include <memory>
#include <string>

namespace brimwick::testing {

class ChildProcess;

// Starts Xvfb on a free display number and waits until it accepts clients; stops it on
// destruction. When Xvfb is not installed or won't start, `available()` is false and `problem()`
// says why, for the skip message.
class XvfbDisplay {
  public:
    // The one screen's size, 24 bits deep.
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;

    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool available() const { return !name_.empty(); }
    const std::string& problem() const { return problem_; }
    // As $DISPLAY would hold it, e.g. ":12".
    const std::string& name() const { return name_; }

  private:
    std::unique_ptr<ChildProcess> server_;
    std::string name_;
    std::string problem_;
};

}  // namespace brimwick::testing
