// Pairing: the six-digit code a phone pairs with, and the phones that paired. A code pairs one
// phone; five wrong tries burn it, and after four burned codes in a row pairing pauses until the
// user asks for a new code. Paired phones (token → name) are kept in the preferences.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/main_queue.h"
#include "core/preferences.h"
#include "core/signal.h"

namespace brimwick {

// Main thread only. The queue and preferences must outlive it; its timer holds it weakly.
class Pairing : public std::enable_shared_from_this<Pairing> {
  public:
    static constexpr const char* kDevicesKey = "phoneDevices";
    static constexpr int kBurnsBeforePause = 4;
    static constexpr double kJustPairedTime = 2.2;
    static constexpr std::size_t kMaxTokenBytes = 64;  // what the server issues
    static constexpr const char* kPaused =
        "Pairing paused after repeated wrong codes. Choose \u201cPair a phone\u201d for a new "
        "code.";

    // Reads the paired phones, cleaning names and tokens no pairing could produce today.
    // `drawCode` gives a fresh code (secureCode() in the application).
    static std::shared_ptr<Pairing> create(MainQueue& queue, Preferences& preferences,
                                           std::function<std::string()> drawCode);
    ~Pairing();

    const std::string& code() const { return code_; }  // "" while no code is valid
    bool paused() const { return paused_; }
    int burnedCodes() const { return burnedCodes_; }
    const std::map<std::string, std::string>& devices() const { return devices_; }
    std::set<std::string> tokens() const;
    std::vector<std::string> deviceNames() const;  // sorted by plain byte comparison
    // The phone that paired in the last 2.2 s, if any.
    const std::optional<std::string>& justPaired() const { return justPaired_; }

    // A fresh code, ending a pause. newCode() clears the burn count first, as the pairing
    // window's "New code" button and its opening while paused do.
    void issueCode();
    void newCode();
    // No code is valid (the link was switched off); the burn count stays.
    void withdrawCode();
    // The server discarded the code after wrong tries: a fresh one, or a pause after four.
    void codeBurned();
    // A phone paired: it is remembered; while `serving`, the burn count clears, a fresh code
    // follows and the phone is "just paired" for 2.2 s.
    void paired(const std::string& token, const std::string& device, bool serving);
    void forget();

    // Runs when the 2.2 s after a pairing are over (the desktop closes its pairing window).
    std::function<void()> closePairingWindow;
    Signal<> changed;

    // "123 456" for a six-digit code; anything else as it is.
    static std::string grouped(const std::string& code);
    // Six digits drawn uniformly from the system's secure random source; nothing when it
    // cannot give bytes.
    static std::optional<std::string> secureCode();

  private:
    Pairing(MainQueue& queue, Preferences& preferences, std::function<std::string()> drawCode);
    void store();

    MainQueue& queue_;
    Preferences& preferences_;
    std::function<std::string()> drawCode_;
    std::string code_;
    bool paused_ = false;
    int burnedCodes_ = 0;
    std::map<std::string, std::string> devices_;
    std::optional<std::string> justPaired_;
    TaskHandle justPairedTimer_;
};

}  // namespace brimwick
