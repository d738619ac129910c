// The headless text face: hook server, session store and the rest with no display, one line
// printed per change.
#pragma once

namespace brimwick {

int runHeadless(int argc, char** argv);

}  // namespace brimwick
