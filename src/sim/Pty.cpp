#include "sim/Pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/Exception.h"

namespace tarnel::sim {

namespace {

[[noreturn]] void Fail(const std::string& What) {
  throw Exception(What + ": " + std::strerror(errno));
}

void MakeRaw(int Fd) {
  termios settings{};
  if (tcgetattr(Fd, &settings) != 0) Fail("cannot read the pseudo-terminal's settings");
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&settings, B9600);
  cfsetospeed(&settings, B9600);
  if (tcsetattr(Fd, TCSANOW, &settings) != 0) Fail("cannot set the pseudo-terminal's settings");
}

}  // namespace

void TPty::Open(const std::string& LinkPath) {
  Close();
  try {
    OpenPair();
    Link(LinkPath);
  } catch (...) {
    Close();
    throw;
  }
}

void TPty::OpenPair() {
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (FMaster < 0) Fail("cannot create a pseudo-terminal");
  if (grantpt(FMaster) != 0 || unlockpt(FMaster) != 0) Fail("cannot unlock the pseudo-terminal");
  char name[128];
  if (ptsname_r(FMaster, name, sizeof name) != 0) Fail("cannot name the pseudo-terminal");
  FSlavePath = name;
  FSlave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (FSlave < 0) Fail("cannot open " + FSlavePath);
  MakeRaw(FSlave);
}

void TPty::Link(const std::string& LinkPath) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path link(LinkPath);
  if (link.has_parent_path()) fs::create_directories(link.parent_path(), error);
  const fs::file_status status = fs::symlink_status(link, error);
  if (fs::exists(status) && !fs::is_symlink(status))
    throw Exception(LinkPath + " exists and is not a link; not replacing it");
  if (fs::is_symlink(status)) fs::remove(link, error);
  if (::symlink(FSlavePath.c_str(), LinkPath.c_str()) != 0) Fail("cannot create the link " + LinkPath);
  FLinkPath = LinkPath;
}

void TPty::Close() {
  if (!FLinkPath.empty()) {
    char target[256];
    const ssize_t length = ::readlink(FLinkPath.c_str(), target, sizeof target - 1);
    if (length > 0 && FSlavePath == std::string(target, static_cast<size_t>(length)))
      ::unlink(FLinkPath.c_str());
    FLinkPath.clear();
  }
  if (FSlave >= 0) ::close(FSlave);
  if (FMaster >= 0) ::close(FMaster);
  FSlave = FMaster = -1;
  FSlavePath.clear();
}

int32_t TPty::Speed() const {
  return FMaster < 0 ? 0 : TerminalSpeed(FMaster);
}

}  // namespace tarnel::sim
