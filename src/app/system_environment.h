// SystemEnvironment: the real platform services both faces run on, owned and assembled in one
// place. Programs that run the whole application under test conditions (the soak, the attacks)
// start from it too and replace only what they must.
#pragma once

#include "app/app.h"
#include "platform/json_file_preferences.h"
#include "platform/login_item.h"
#include "platform/process_table.h"
#include "platform/window_list.h"

namespace brimwick {

// Owns the services an AppEnvironment points at; must outlive the app using them.
class SystemEnvironment {
  public:
    // `preferencesPath`: where the preferences live (a benchmark keeps its own).
    explicit SystemEnvironment(std::string preferencesPath = JsonFilePreferences::defaultPath());

    // The environment for `main`; `wake` may be null (no wake refresh).
    AppEnvironment environment(MainQueue& main, WakeMonitor* wake = nullptr);

    Preferences& preferences() { return preferences_; }
    const Clock& clock() const { return clock_; }

  private:
    SystemClock clock_;
    JsonFilePreferences preferences_;
    LinuxProcessTable processes_;
    X11WindowList windows_;
    SessionFocus focus_;
    XdgAutostartLoginItem loginItem_;
};

}  // namespace brimwick
