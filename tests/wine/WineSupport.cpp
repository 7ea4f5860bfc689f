#include "WineSupport.h"

#include <windows.h>

namespace tarnel::test {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int CurrentThreadPriority() {
  static_assert(kLowestThreadPriority == THREAD_PRIORITY_LOWEST);
  return GetThreadPriority(GetCurrentThread());
}

DCB PlainLine(uint32_t Speed) {
  DCB dcb;
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = Speed;
  dcb.Flags = dcbBinary | dcbDtrControlEnable | dcbRtsControlEnable;
  dcb.XonLim = 1024;
  dcb.XoffLim = 1024;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

}  // namespace tarnel::test
