#pragma once

class QWidget;

namespace tarnel {

// When the environment variable TARNEL_SCREENSHOT names a file, renders Window's client area into it as a
// PNG once the event loop has shown it, then quits the application (exit code 1 if the file could not be
// written). When TARNEL_SCREENSHOT_FOCUS names a control of the window, that control has the keyboard focus
// in the picture, as if reached by Tab. Returns whether a screenshot was scheduled.
bool ScheduleScreenshot(QWidget* Window);

}  // namespace tarnel
