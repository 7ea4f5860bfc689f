#include "ChildProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace tarnel::test {

ChildProcess::ChildProcess(std::vector<std::string> Args) {
  std::vector<char*> argv;
  for (std::string& arg : Args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  if (posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + Args[0]);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  FOut = fdopen(out[0], "r");
  FErr = err[0];
}

ChildProcess::~ChildProcess() {
  if (FPid > 0) {
    kill(FPid, SIGKILL);
    Wait();
  }
  if (FOut) fclose(FOut);
  close(FErr);
}

std::string ChildProcess::Line() {
  char buffer[4096];
  if (fgets(buffer, sizeof buffer, FOut) == nullptr) return {};
  std::string line(buffer);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

std::string ChildProcess::ErrorLine() {
  // Byte by byte, so that Errors() still finds everything after this line.
  std::string line;
  char c = 0;
  while (read(FErr, &c, 1) == 1) {
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

std::string ChildProcess::Output() {
  std::string text;
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, FOut)) > 0)
    text.append(buffer, count);
  return text;
}

std::string ChildProcess::Errors() {
  std::string text;
  char buffer[4096];
  ssize_t count;
  while ((count = read(FErr, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(count));
  return text;
}

void ChildProcess::Signal(int Number) {
  kill(FPid, Number);
}

int ChildProcess::Wait() {
  int status = 0;
  waitpid(FPid, &status, 0);
  FPid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ProgramRun RunProgram(const std::vector<std::string>& Args) {
  ChildProcess child(Args);
  ProgramRun run;
  run.Output = child.Output();
  run.Errors = child.Errors();
  run.Status = child.Wait();
  return run;
}

}  // namespace tarnel::test
