#include "serial/PlainUiDispatcher.h"

namespace tarnel {

// Builds without Qt: the thread that first needs the dispatcher is the user-interface thread.
std::shared_ptr<TUiDispatcher> MakeDefaultUiDispatcher() {
  return std::make_shared<TPlainUiDispatcher>();
}

}  // namespace tarnel
