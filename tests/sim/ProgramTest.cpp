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
#include "support/ChildProcess.h"

namespace tarnel::sim {
namespace {

// tarnel-devsim with its arguments.
class TProgram : public test::ChildProcess {
 public:
  explicit TProgram(std::vector<std::string> Args) : ChildProcess(WithPath(std::move(Args))) {}

 private:
  static std::vector<std::string> WithPath(std::vector<std::string> Args) {
    Args.insert(Args.begin(), TARNEL_DEVSIM_PATH);
    return Args;
  }
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
