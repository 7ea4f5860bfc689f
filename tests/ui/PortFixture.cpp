#include "PortFixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace tarnel::test {

TPty::TPty() {
  FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0) throw std::runtime_error("no pty");
  const char* name = ptsname(FMaster);
  if (!name) throw std::runtime_error("no pty name");
  FSlavePath = name;
}

TPty::~TPty() {
  Close();
}

void TPty::Close() {
  if (FMaster >= 0) ::close(FMaster);
  FMaster = -1;
}

TComDir::TComDir() {
  if (!FDir.isValid()) throw std::runtime_error("no temporary directory");
  FHadPrevious = qEnvironmentVariableIsSet("TARNEL_COM_DIR");
  FPrevious = qgetenv("TARNEL_COM_DIR");
  qputenv("TARNEL_COM_DIR", FDir.path().toLocal8Bit());
}

TComDir::~TComDir() {
  if (FHadPrevious)
    qputenv("TARNEL_COM_DIR", FPrevious);
  else
    qunsetenv("TARNEL_COM_DIR");
}

void TComDir::Link(int ComNumber, const std::string& Target) {
  Unlink(ComNumber);
  const std::string entry = FDir.path().toStdString() + "/COM" + std::to_string(ComNumber);
  if (::symlink(Target.c_str(), entry.c_str()) != 0) throw std::runtime_error("cannot link " + entry);
}

void TComDir::Unlink(int ComNumber) {
  const std::string entry = FDir.path().toStdString() + "/COM" + std::to_string(ComNumber);
  ::unlink(entry.c_str());
}

}  // namespace tarnel::test
