#pragma once

#include <chrono>

#include "serial/AfComPortTypes.h"

namespace tarnel::platform {

// The kernel's id of the calling thread.
int CurrentThreadId();

// The niceness a TThreadPriority stands for: tpIdle 19 ... tpNormal 0 ... tpTimeCritical -19.
int NiceValue(TThreadPriority Priority);

// Gives the thread the niceness of Priority. Raising a priority needs privileges; without them the call
// fails and the thread keeps what it has, which is harmless.
bool SetThreadPriority(int ThreadId, TThreadPriority Priority);

// Sleeps until Until and never returns before it, without spinning. Ends closer to Until than a plain
// sleep: the grace the system gives itself to bundle timer wake-ups is lifted for this one sleep.
void SleepUntil(std::chrono::steady_clock::time_point Until);

}  // namespace tarnel::platform
