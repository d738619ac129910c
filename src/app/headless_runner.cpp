#include "app/headless_runner.h"

namespace brimwick {

int runHeadless(int, char**) { return 0; }

}  // namespace brimwick
