#pragma once

#include <functional>
#include <thread>

namespace dupsieve {

// Runs `there` on a thread of its own while the calling thread runs `here`,
// and returns once both are done. What either throws reaches the caller
// (the calling thread's first). Where there is no second processor, or the
// system will not start a thread, both run on the calling thread, `here`
// first. The two must share nothing but what both only read.
void runBeside(const std::function<void()>& there, const std::function<void()>& here);

// Each system's: starts `body` on `thread` as the threads beside the main
// one are started (on Linux, with the signals the main thread handles
// blocked). False where no second processor would run it, or no thread is
// to be had.
bool startThreadBeside(std::thread& thread, std::function<void()> body);

}  // namespace dupsieve
