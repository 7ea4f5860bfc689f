#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tarnel::test {

// A program of ours running with its standard output and error in pipes, and the test's environment.
class ChildProcess {
 public:
  // Args[0] is the program's path.
  explicit ChildProcess(std::vector<std::string> Args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of standard output without its end; empty at the end.
  std::string Line();
  // The next line of standard error without its end; empty at the end.
  std::string ErrorLine();
  // The rest of standard output, or of standard error, up to the end.
  std::string Output();
  std::string Errors();

  void Signal(int Number);
  // The exit status, or 128 + the signal that ended it.
  int Wait();

 private:
  pid_t FPid = -1;
  FILE* FOut = nullptr;
  int FErr = -1;
};

// Runs a program to its end: what it printed and its exit status.
struct ProgramRun {
  std::string Output;
  std::string Errors;
  int Status = -1;
};
ProgramRun RunProgram(const std::vector<std::string>& Args);

}  // namespace tarnel::test
