#include "serial/platform/SerialDevice.h"

namespace tarnel::platform {

// A device whose handle is signalled while input waits (a descriptor polled level-triggered).
bool SerialDevice::WaitForInput(int TimeoutMs) {
  HandleWaitable input(IsGone() || Handle() < 0 ? kNoHandle : NativeHandle{Handle()});
  return WaitAny({&input}, TimeoutMs) == 0;
}

}  // namespace tarnel::platform
