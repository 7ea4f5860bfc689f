#pragma once

#include <cstddef>
#include <string>

namespace tarnel::test {

// A temporary directory named by TARNEL_COM_DIR while it lives, holding COM<n> links, so a test port
// opens by number like a real one. The previous value of the variable comes back afterwards.
class ComDir {
 public:
  ComDir();
  ~ComDir();
  ComDir(const ComDir&) = delete;
  ComDir& operator=(const ComDir&) = delete;

  const std::string& Path() const { return FPath; }
  // COM<ComNumber> leads to Target (which need not exist).
  void Link(int ComNumber, const std::string& Target);
  void Unlink(int ComNumber);

 private:
  std::string FPath;
  std::string FPrevious;
  bool FHadPrevious = false;
};

// A pseudo-terminal pair in raw mode. The test holds the master side (non-blocking); the port under test
// opens the slave side by its path.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int Master() const { return FMaster; }
  const std::string& SlavePath() const { return FSlavePath; }
  // The other side vanishes, as when an adapter is pulled. The slave's path is gone for good while this
  // object lives: its number stays taken, so a pseudo-terminal opened meanwhile (by a test running in
  // parallel) never appears under the same name.
  void CloseMaster();

  // Writes all bytes, waiting while the pseudo-terminal is full; false when the time runs out first.
  bool WriteAll(const std::string& Data, int TimeoutMs = 5000);
  // Whatever the master can read now.
  std::string ReadAvailable();
  // Reads until Count bytes have come or the time runs out.
  std::string ReadExactly(size_t Count, int TimeoutMs = 5000);
  // Reads until the line has been quiet for QuietMs.
  std::string ReadUntilQuiet(int QuietMs = 200, int TimeoutMs = 5000);

 private:
  int FMaster = -1;
  int FNumberHold = -1;  // a slave descriptor kept past CloseMaster
  std::string FSlavePath;
};

// A pseudo-terminal linked as COM<n> in a directory of its own.
class PtyPort {
 public:
  explicit PtyPort(int ComNumber = 1) : FComNumber(ComNumber) { FDir.Link(ComNumber, FPty.SlavePath()); }
  int ComNumber() const { return FComNumber; }
  PtyPair& Pty() { return FPty; }
  ComDir& Dir() { return FDir; }

 private:
  ComDir FDir;
  PtyPair FPty;
  int FComNumber;
};

}  // namespace tarnel::test
