#pragma once

class QWidget;

namespace tarnel {

// When the environment variable TARNEL_SCREENSHOT names a file, renders Window's client area into it as a
// PNG once the event loop has shown it, then quits the application (exit code 1 if the file could not be
// written). Returns whether a screenshot was scheduled.
bool ScheduleScreenshot(QWidget* Window);

}  // namespace tarnel
