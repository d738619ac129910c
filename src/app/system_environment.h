// SystemEnvironment: the real platform services both faces run on, owned in one place.
#pragma once

#include "app/app_delegate.h"
#include "platform/json_file_preferences.h"
#include "platform/login_item.h"
#include "platform/process_table.h"
#include "platform/window_list.h"

namespace brimwick {

// Owns the services an AppEnvironment points at; must outlive the delegate using them.
class SystemEnvironment {
  public:
    SystemEnvironment();

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
