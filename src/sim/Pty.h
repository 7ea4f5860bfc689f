#pragma once

#include <cstdint>
#include <string>

namespace tarnel::sim {

// The pseudo-terminal that stands for the serial line: the simulator owns the master side; the tool opens
// the slave through the link COM<n> in a directory. The simulator keeps its own descriptor of the slave open
// for its whole life, so the master never sees a hang-up when the tool closes the port, and the line
// settings the tool made stay readable.
class TPty {
 public:
  TPty() = default;
  TPty(const TPty&) = delete;
  TPty& operator=(const TPty&) = delete;
  ~TPty() { Close(); }

  // Opens a new pair in raw mode at 9600 bit/s (no echo, no line editing until the tool sets its own
  // mode), and links LinkPath to the slave. An existing symbolic link there (left by a simulator that was
  // killed) is replaced; any other file is not touched. Throws tarnel::Exception on failure.
  void Open(const std::string& LinkPath);

  // Removes the link if it still points to this slave, then closes both sides.
  void Close();

  int Master() const { return FMaster; }
  const std::string& SlavePath() const { return FSlavePath; }
  const std::string& LinkPath() const { return FLinkPath; }

  // The speed the tool set on the slave, in bit/s, as the master sees it; 0 when it cannot be read.
  int32_t Speed() const;

 private:
  void OpenPair();
  void Link(const std::string& LinkPath);

  int FMaster = -1;
  int FSlave = -1;
  std::string FSlavePath;
  std::string FLinkPath;
};

// The output speed of a terminal in bit/s (also speeds given with BOTHER); 0 when it cannot be read.
int32_t TerminalSpeed(int Fd);

}  // namespace tarnel::sim
