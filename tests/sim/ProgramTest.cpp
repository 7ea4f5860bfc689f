// The tarnel-devsim program as a user runs it: arguments, the printed TARNEL_COM_DIR line, a device that
// answers on COM<n>, and SIGTERM removing the link.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "LinePort.h"
#include "protocol/Decoders.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"

extern char** environ;

namespace tarnel::sim {
namespace {

// The program running with its standard output (and optionally error) in pipes.
class TProgram {
 public:
  explicit TProgram(std::vector<std::string> Args) {
    Args.insert(Args.begin(), TARNEL_DEVSIM_PATH);
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
      throw std::runtime_error("cannot start tarnel-devsim");
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    FOut = fdopen(out[0], "r");
    FErr = err[0];
  }
  ~TProgram() {
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      Wait();
    }
    if (FOut) fclose(FOut);
    close(FErr);
  }

  std::string Line() {
    char buffer[4096];
    if (fgets(buffer, sizeof buffer, FOut) == nullptr) return {};
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
  }

  std::string Errors() {
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = read(FErr, buffer, sizeof buffer)) > 0)
      text.append(buffer, static_cast<size_t>(count));
    return text;
  }

  void Signal(int Number) { kill(FPid, Number); }

  int Wait() {
    int status = 0;
    waitpid(FPid, &status, 0);
    FPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t FPid = -1;
  FILE* FOut = nullptr;
  int FErr = -1;
};

class DevsimProgramTest : public ::testing::Test {
 protected:
  DevsimProgramTest() {
    char pattern[] = "/tmp/tarnel-devsim-test-XXXXXX";
    dir = mkdtemp(pattern);
  }
  ~DevsimProgramTest() override { std::filesystem::remove_all(dir); }
  std::string dir;
};

TEST_F(DevsimProgramTest, HrwDeviceAnswersUntilSigtermRemovesTheLink) {
  TProgram program(
      {"--com-dir", dir, "--com", "1", "--device", "49", "--model", "HRW", "--values", "25,50,10"});
  ASSERT_EQ(program.Line(), "TARNEL_COM_DIR=" + dir);
  {
    test::TLinePort line(dir + "/COM1", 9600);
    const TTarnelFormat97 info = ParsePacket97(line.Exchange(BuildInfoRequest(49)));
    EXPECT_EQ(info.Data, "HRW;Tarnel simulated device");
    const TTarnelFormat97 values =
        ParsePacket97(line.Exchange(BuildReadValuesRequest(49, TDeviceFamily::TempHumidityDew)));
    double temperature = 0, humidity = 0, dew = 0;
    bool valid = false;
    ASSERT_TRUE(DecodeTempHumidityDew(values.Data, temperature, humidity, dew, valid));
    EXPECT_DOUBLE_EQ(temperature, 25.0);
    EXPECT_DOUBLE_EQ(dew, 10.0);
  }
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir + "/COM1")));
  EXPECT_NE(program.Errors().find("device 0: address 49 (\"1\")"), std::string::npos);
}

TEST_F(DevsimProgramTest, LogGoesToTheNamedFile) {
  const std::string log = dir + "/log.jsonl";
  TProgram program({"--com-dir", dir, "--com", "2", "--log", log, "--device", "5", "--speed", "57600"});
  ASSERT_EQ(program.Line(), "TARNEL_COM_DIR=" + dir);
  {
    test::TLinePort line(dir + "/COM2", 57600);
    EXPECT_EQ(CheckPacket97(line.Exchange(BuildInfoRequest(5))), 0);
  }
  program.Signal(SIGINT);
  EXPECT_EQ(program.Wait(), 0);
  std::ifstream in(log);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find(R"("event":"request","speed":57600,"bytes":"2A6100050501F3)"), std::string::npos) << all;
  EXPECT_NE(all.find(R"("event":"stop")"), std::string::npos);
}

TEST_F(DevsimProgramTest, BadArgumentsEndWithAMessage) {
  TProgram program({"--com-dir", dir, "--com", "1", "--device", "300"});
  EXPECT_EQ(program.Wait(), 2);
  EXPECT_NE(program.Errors().find("tarnel-devsim: --device address must be a whole number from 0 to 253"),
            std::string::npos);
}

}  // namespace
}  // namespace tarnel::sim
