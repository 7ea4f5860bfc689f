#pragma once

#include "engine/DeviceLine.h"
#include "serial/AfComPort.h"
#include "serial/AfComPortExchange.h"

namespace tarnel {

// Keeps the port adapter alive for as long as the line that uses it.
struct TPortAdapter {
  explicit TPortAdapter(TAfComPort* Port) : Adapter(Port) {}
  TAfComPortExchange Adapter;
};

// The window's port as a line for the engine's workflows.
class TPortLine : private TPortAdapter, public TDeviceLine {
 public:
  explicit TPortLine(TAfComPort* Port) : TPortAdapter(Port), TDeviceLine(Adapter) {}
};

}  // namespace tarnel
