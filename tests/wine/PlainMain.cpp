// The GoogleTest main of the Wine tests that use the port component: the main thread is the
// user-interface thread, served through a plain dispatcher.
#include <gtest/gtest.h>

#include "WineSupport.h"
#include "serial/PlainUiDispatcher.h"

namespace tarnel::test {
namespace {
std::shared_ptr<TPlainUiDispatcher> gDispatcher;
}

TPlainUiDispatcher& UiQueue() {
  return *gDispatcher;
}

}  // namespace tarnel::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  tarnel::test::gDispatcher = std::make_shared<tarnel::TPlainUiDispatcher>();
  tarnel::SetUiDispatcher(tarnel::test::gDispatcher);
  return RUN_ALL_TESTS();
}
