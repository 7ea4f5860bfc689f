#pragma once

#include <QTemporaryDir>
#include <string>

namespace tarnel::test {

// A pseudo-terminal whose slave side plays a serial port while the master side is open.
class TPty {
 public:
  TPty();
  ~TPty();
  TPty(const TPty&) = delete;
  TPty& operator=(const TPty&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }
  // The port goes away, as when an adapter is pulled.
  void Close();

 private:
  int FMaster = -1;
  std::string FSlavePath;
};

// A directory named by TARNEL_COM_DIR while it lives; COM<n> entries lead to the test's ports.
class TComDir {
 public:
  TComDir();
  ~TComDir();
  TComDir(const TComDir&) = delete;
  TComDir& operator=(const TComDir&) = delete;

  // COM<ComNumber> leads to Target, which need not exist (a dangling link is a missing port).
  void Link(int ComNumber, const std::string& Target);
  void Unlink(int ComNumber);
  QString Path() const { return FDir.path(); }

 private:
  QTemporaryDir FDir;
  QByteArray FPrevious;
  bool FHadPrevious = false;
};

}  // namespace tarnel::test
