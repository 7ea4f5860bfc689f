#pragma once

namespace tarnel::test {

// How many tasks were handed to the UI thread since the test program started. A background thread that
// waits for the UI thread (SafeSyncCall, the component's deliveries) has queued its delivery once this
// count has grown, so a test waits for that instead of sleeping for it.
int UiPosts();

// Waits until more than Before tasks were handed over; false when TimeoutMs passed first.
bool WaitForUiPostsAfter(int Before, int TimeoutMs = 10000);

}  // namespace tarnel::test
