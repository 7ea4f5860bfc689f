// Test-only: preloaded into Wine, answers the modem-line and counter ioctls on pseudo-terminals, which
// have no modem lines. Without the answers Wine's WaitCommEvent fails (error 50) and no character event
// fires. Lines raised by the program are remembered per descriptor; CTS, DSR and CD read as raised.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

enum { kMaxFds = 4096 };
static int lines[kMaxFds];

// Unix 98 pseudo-terminal slaves have majors 136..143.
static int IsPtySlave(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
  return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

static int Emulate(int fd, unsigned long request, void* arg) {
  int* value = (int*)arg;
  int* state = &lines[fd];
  const int fixed = TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
  switch (request) {
    case TIOCMGET:
      *value = (*state & (TIOCM_DTR | TIOCM_RTS)) | fixed;
      return 0;
    case TIOCMSET:
      *state = *value;
      return 0;
    case TIOCMBIS:
      *state |= *value;
      return 0;
    case TIOCMBIC:
      *state &= ~*value;
      return 0;
    case TIOCGICOUNT:
      memset(arg, 0, sizeof(struct serial_icounter_struct));
      return 0;
    default:
      return -1;
  }
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real)(int, unsigned long, ...);
  if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  const int result = real(fd, request, arg);
  if (result == 0 || (errno != ENOTTY && errno != EINVAL) || fd < 0 || fd >= kMaxFds || !arg) return result;
  const int saved = errno;
  if (!IsPtySlave(fd) || Emulate(fd, request, arg) != 0) {
    errno = saved;
    return result;
  }
  return 0;
}
