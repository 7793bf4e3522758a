#pragma once
// The daemon frame: the process runs in the foreground until SIGTERM or
// SIGINT, the Linux counterpart of a service manager's stop request.
#include <functional>

namespace tarvelin {

// Blocks SIGTERM and SIGINT in the calling thread (and so in every thread it
// creates afterwards), runs `start`, waits for one of the two signals, runs
// `stop`. Call it from main before any other thread exists so that no
// component thread takes the signal instead.
void RunUntilStopSignal(const std::function<void()>& start, const std::function<void()>& stop);

}  // namespace tarvelin
