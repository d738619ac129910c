// LoginItem: whether Brimwick starts when the user logs in, and the switch for it.
#pragma once

#include <string>

#include "core/result.h"

namespace brimwick {

class LoginItem {
  public:
    virtual ~LoginItem() = default;
    virtual bool enabled() const = 0;
    // Registers or unregisters; the error's message is the system's description.
    virtual Result<void> setEnabled(bool on) = 0;
    // Where the registration lives, as the user would look for it (the home folder as "~").
    virtual std::string folder() const = 0;
};

// The XDG autostart entry <configHome>/autostart/brimwick.desktop; enabled means it exists.
class XdgAutostartLoginItem final : public LoginItem {
  public:
    // `configHome` is $XDG_CONFIG_HOME (or ~/.config); `executable` the absolute path to start.
    XdgAutostartLoginItem(std::string configHome, std::string executable);

    // The user's config home and the running executable (/proc/self/exe).
    static XdgAutostartLoginItem forCurrentUser();

    bool enabled() const override;
    Result<void> setEnabled(bool on) override;
    std::string folder() const override;

    const std::string& path() const { return path_; }

    // The desktop entry written for `executable`, with the Exec value quoted and escaped.
    static std::string desktopEntry(const std::string& executable);

  private:
    std::string path_;
    std::string executable_;
};

}  // namespace brimwick
