// Adopted threads: threads that end by themselves but cannot be joined where they are let go (a
// thread cannot join itself) are handed over here, and main joins them before it returns.
#pragma once

#include <thread>

namespace brimwick {

// Keeps `thread` until joinAdoptedThreads(). Any thread.
void adoptThread(std::thread thread);

// Joins every adopted thread, also those adopted while it waits. Call it where nothing an
// adopted thread may still touch has been destroyed yet: at the end of main. It runs once more
// from a static destructor for programs (tests) that never call it. Never from an adopted thread.
void joinAdoptedThreads();

}  // namespace brimwick
