#pragma once

#include <memory>

#include "serial/UiDispatcher.h"

namespace tarnel {

// The toolkit's event loop as the dispatcher: the user-interface thread is the application object's, and
// posted tasks run as events there. Without an application object nothing can be posted.
std::shared_ptr<TUiDispatcher> MakeQtUiDispatcher();

}  // namespace tarnel
