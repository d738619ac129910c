// What tests that launch a whole App share: a scratch home folder, a face that
// records what it is asked to show, and an environment on virtual time with a fake for every
// outside service.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/app_face.h"
#include "support/manual_main_queue.h"
#include "support/scratch_folder.h"

namespace brimwick::testing {

class RecordingFace final : public AppFace {
  public:
    void rebuildMenu() override { ++rebuilds; }
    void showIconState(std::optional<BotState> state) override { icons.push_back(state); }
    void alert(const std::string& title, const std::string& text) override {
        alerts.emplace_back(title, text);
    }
    void beep() override { ++beeps; }
    void showPairingWindow() override { ++pairingWindows; }
    void closePairingWindow() override { ++closedPairing; }

    int rebuilds = 0, beeps = 0, pairingWindows = 0, closedPairing = 0;
    std::vector<std::optional<BotState>> icons;
    std::vector<std::pair<std::string, std::string>> alerts;
};

// `main` is queue and clock; usage fetches fail as signed out; no phone server is ever made (the
// link reports that), the phone's address is 192.0.2.10, its codes "123456", the host "Test Box",
// no folder exists and no terminal opens; the hook server takes a free port. Tests replace what
// they look at.
AppEnvironment appTestEnvironment(ManualMainQueue& main, Preferences& preferences,
                                  const std::filesystem::path& home);

}  // namespace brimwick::testing
