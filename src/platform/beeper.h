// Beeper: the system's audible alert, the only feedback when a session's terminal can't be found.
#pragma once

namespace brimwick {

// The desktop shell supplies the real beep; tests count calls. Main thread only.
class Beeper {
  public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

}  // namespace brimwick
