#pragma once

#include "serial/AfComPortTypes.h"

namespace tarnel::platform {

// The kernel's id of the calling thread.
int CurrentThreadId();

// The niceness a TThreadPriority stands for: tpIdle 19 ... tpNormal 0 ... tpTimeCritical -19.
int NiceValue(TThreadPriority Priority);

// Gives the thread the niceness of Priority. Raising a priority needs privileges; without them the call
// fails and the thread keeps what it has, which is harmless.
bool SetThreadPriority(int ThreadId, TThreadPriority Priority);

}  // namespace tarnel::platform
