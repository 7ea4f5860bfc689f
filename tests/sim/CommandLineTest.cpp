#include "sim/CommandLine.h"

#include <gtest/gtest.h>

#include "../protocol/HexBytes.h"
#include "common/Exception.h"

namespace tarnel::sim {
namespace {

using test::ToHex;

TSimCommandLine Parse(std::vector<std::string> Args) {
  return ParseSimCommandLine(Args);
}

std::string ErrorOf(std::vector<std::string> Args) {
  try {
    Parse(Args);
  } catch (const Exception& error) {
    return error.what();
  }
  return "no error";
}

TEST(SimCommandLineTest, OneHrwDevice) {
  const TSimCommandLine line = Parse(
      {"--com-dir", "/tmp/com", "--com", "1", "--device", "49", "--model", "HRW", "--values", "25,50,-10"});
  EXPECT_EQ(line.ComDir, "/tmp/com");
  EXPECT_EQ(line.ComNumber, 1);
  ASSERT_EQ(line.Devices.size(), 1u);
  const TDeviceConfig& device = line.Devices[0];
  EXPECT_EQ(device.Address, 49);
  EXPECT_EQ(device.Speed, 9600);
  EXPECT_EQ(device.Info, "HRW;Tarnel simulated device");
  ASSERT_TRUE(device.Values.has_value());
  EXPECT_EQ(ToHex(*device.Values), "01 80 00 FA 02 80 01 F4 03 80 FF 9C");
}

TEST(SimCommandLineTest, OptionsBelongToTheDeviceBeforeThem) {
  const TSimCommandLine line =
      Parse({"--com-dir", "d",        "--com",    "3",        "--log",      "-",       "--device",
             "1",         "--speed",  "115200",   "--serial", "1234\\0042", "--fault", "echo",
             "--fault",   "stray=FF", "--device", "2",        "--info",     "KQ6x;io", "--data",
             "0102",      "--fault",  "code=7",   "--fault",  "split=120"});
  ASSERT_EQ(line.Devices.size(), 2u);
  EXPECT_EQ(line.LogPath, "-");
  EXPECT_EQ(line.Devices[0].Speed, 115200);
  EXPECT_EQ(line.Devices[0].Serial.N1, 1234);
  EXPECT_EQ(line.Devices[0].Serial.N2, 42);
  EXPECT_TRUE(line.Devices[0].Faults.Echo);
  EXPECT_TRUE(line.Devices[0].Faults.StrayByte);
  EXPECT_EQ(line.Devices[0].Faults.StrayValue, 0xFF);
  EXPECT_FALSE(line.Devices[0].Values.has_value()) << "no values given: the family default applies";
  EXPECT_EQ(line.Devices[1].Info, "KQ6x;io");
  EXPECT_EQ(ToHex(*line.Devices[1].Values), "01 02");
  EXPECT_EQ(line.Devices[1].Faults.RefuseCode, 7);
  EXPECT_EQ(line.Devices[1].Faults.SplitGapMs, 120);
  EXPECT_FALSE(line.Devices[1].Faults.Echo);
}

TEST(SimCommandLineTest, BadInputIsNamedInTheMessage) {
  EXPECT_NE(ErrorOf({"--com", "1", "--device", "1"}).find("--com-dir"), std::string::npos);
  EXPECT_NE(ErrorOf({"--com-dir", "d", "--com", "1"}).find("no device"), std::string::npos);
  EXPECT_NE(ErrorOf({"--com-dir", "d", "--com", "1", "--device", "254"}).find("0 to 253"), std::string::npos);
  EXPECT_NE(ErrorOf({"--com-dir", "d", "--com", "1", "--speed", "9600"}).find("must follow"),
            std::string::npos);
  EXPECT_NE(ErrorOf({"--com-dir", "d", "--com", "1", "--device", "1", "--fault", "loud"}).find("loud"),
            std::string::npos);
  EXPECT_NE(ErrorOf({"--com-dir", "d", "--com", "1", "--device", "1", "--model", "VKM7", "--values", "1,2"})
                .find("takes 1 values"),
            std::string::npos);
  EXPECT_NE(ErrorOf({"--com-dir", "d", "--com", "x1"}).find("\"x1\""), std::string::npos);
  EXPECT_NE(ErrorOf({"--com-dir"}).find("needs a value"), std::string::npos);
}

TEST(SimCommandLineTest, BabbleAndAnswerAddressFaultsAreParsedAndDescribed) {
  TDeviceState state;
  state.Faults = Parse({"--com-dir", "d", "--com", "1", "--device", "49", "--fault", "babble=100", "--fault",
                        "answer-address=255"})
                     .Devices.at(0)
                     .Faults;
  EXPECT_NE(DescribeDevice(0, state).find("faults: babble=100 answer-address=255"), std::string::npos);
}

TEST(SimCommandLineTest, HelpNeedsNothingElse) {
  EXPECT_TRUE(Parse({"--help"}).Help);
}

}  // namespace
}  // namespace tarnel::sim
