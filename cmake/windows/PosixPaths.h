#pragma once

// Given to the command line's sources in the Windows build: realpath, which the C runtime of Windows does
// not have, as _fullpath plus the existence check realpath makes (device names such as \\.\COM3 are not
// files and pass unchecked). <windows.h> stays out: its macros clash with the component's names.
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

inline char* realpath(const char* Path, char* Resolved) {
  struct _stat info;
  if (strncmp(Path, "\\\\.\\", 4) != 0 && _stat(Path, &info) != 0) return nullptr;
  return _fullpath(Resolved, Path, _MAX_PATH);
}
