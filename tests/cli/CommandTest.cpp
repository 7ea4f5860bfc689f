// The tarnel program against simulated devices: its output in text and JSON, its exit status, the bytes
// it puts on the line and the record it keeps.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "protocol/Decoders.h"
#include "protocol/Packet97.h"
#include "sim/DeviceSimulator.h"
#include "support/ChildProcess.h"
#include "support/Hex.h"
#include "support/PtyPair.h"

namespace tarnel::test {
namespace {

using namespace std::chrono_literals;

sim::TDeviceConfig Device(uint8_t Address, int32_t Speed, const std::string& Info = "HRW;hall") {
  sim::TDeviceConfig config;
  config.Address = Address;
  config.Speed = Speed;
  config.Info = Info;
  return config;
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t end = Text.find('\n'); end != std::string::npos; end = Text.find('\n', from)) {
    lines.push_back(Text.substr(from, end - from));
    from = end + 1;
  }
  return lines;
}

bool Holds(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

// Reads the program's standard error up to a line holding Part; false when it ended first.
bool WaitForErrorLine(ChildProcess& Program, const std::string& Part) {
  for (std::string line = Program.ErrorLine(); !line.empty(); line = Program.ErrorLine())
    if (Holds(line, Part)) return true;
  return false;
}

constexpr sim::TDeviceFaults kRemoved{.Silent = true};
constexpr sim::TDeviceFaults kConnected{};

class CommandTest : public ::testing::Test {
 protected:
  void Start(std::initializer_list<sim::TDeviceConfig> Devices) {
    for (const sim::TDeviceConfig& device : Devices)
      Sim.AddDevice(device);
    Sim.Start(Dir.Path(), 1);
  }
  ProgramRun Run(std::vector<std::string> Args) {
    Args.insert(Args.begin(), TARNEL_CLI_PATH);
    return RunProgram(Args);
  }
  std::vector<int32_t> SpeedsHeard() const {
    std::vector<int32_t> speeds;
    for (const sim::THeardRequest& heard : Sim.Requests())
      speeds.push_back(heard.Speed);
    return speeds;
  }
  // How many serial number writes (instruction 0xEA) reached the line.
  size_t BurnsHeard() const {
    size_t count = 0;
    for (const sim::THeardRequest& heard : Sim.Requests())
      count += heard.Packet && heard.Bytes.size() > 6 && static_cast<uint8_t>(heard.Bytes[6]) == 0xEA;
    return count;
  }
  std::string LogPath() const { return Dir.Path() + "/provisioning.jsonl"; }
  std::vector<std::string> LogLines() const {
    std::ifstream file(LogPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
      lines.push_back(line);
    return lines;
  }

  ComDir Dir;
  sim::TDeviceSimulator Sim;
};

TEST_F(CommandTest, FindAsksTheUniversalAddressAndTellsTheAnswerInTextAndJson) {
  Start({Device(49, 9600)});
  const ProgramRun text = Run({"find", "--port", "COM1"});
  EXPECT_EQ(text.Status, 0) << text.Errors;
  EXPECT_EQ(text.Output, "Found address 49 (0x31, \"1\") at 9600 bit/s. INFO: HRW;hall\n");
  ASSERT_EQ(Sim.Requests().size(), 1u);
  EXPECT_EQ(Sim.Requests()[0].Bytes, Bytes({0x2A, 0x61, 0x00, 0x05, 0xFE, 0xF3, 0xF3, 0x8B, 0x0D}));

  const ProgramRun json = Run({"find", "--port", Dir.Path() + "/COM1", "--json"});
  EXPECT_EQ(json.Status, 0);
  EXPECT_EQ(
      json.Output,
      "{\"command\":\"find\",\"status\":\"found\",\"address\":49,\"address_hex\":\"0x31\",\"address_char\":"
      "\"1\",\"speed\":9600,\"info\":\"HRW;hall\"}\n");
}

TEST_F(CommandTest, FindAtAllSpeedsTriesTheCommonOnesFirstAndStopsAtTheAnswer) {
  Start({Device(7, 57600)});
  const ProgramRun run = Run({"find", "--port", "COM1", "--all-speeds"});
  EXPECT_EQ(run.Status, 0) << run.Errors;
  EXPECT_EQ(run.Output, "Found address 7 (0x07) at 57600 bit/s. INFO: HRW;hall\n");
  EXPECT_EQ(SpeedsHeard(), (std::vector<int32_t>{9600, 19200, 115200, 57600}));

  Sim.SetFaults(0, sim::TDeviceFaults{.Silent = true});
  const ProgramRun silent = Run({"find", "--port", "COM1", "--all-speeds", "--json"});
  EXPECT_EQ(silent.Status, 1);
  EXPECT_EQ(silent.Output, "{\"command\":\"find\",\"status\":\"no answer\"}\n");
}

// Three devices at two speeds, a silent one and one whose answers are damaged. The time-out leaves room for
// a busy machine that holds up a device's answer (50 ms failed once in CI, never here).
TEST_F(CommandTest, ScanListsEveryDeviceAtEverySpeedAndReportsDamagedAnswers) {
  sim::TDeviceConfig damaged = Device(50, 9600);
  damaged.Faults.BadChecksum = true;
  sim::TDeviceConfig silent = Device(40, 9600);
  silent.Faults.Silent = true;
  Start({Device(10, 9600), Device(20, 19200, "VKM7;pipe"), Device(30, 19200, "KQ6;tank"), silent, damaged});
  const ProgramRun run = Run({"scan", "--port", "COM1", "--speed", "9600,19200", "--addresses", "5-55",
                              "--timeout", "120", "--json"});
  EXPECT_EQ(run.Status, 5) << run.Errors;
  const std::vector<std::string> lines = Lines(run.Output);
  ASSERT_EQ(lines.size(), 5u) << run.Output;
  EXPECT_TRUE(Holds(lines[0], "\"status\":\"found\",\"address\":10,") && Holds(lines[0], "\"speed\":9600,"));
  EXPECT_TRUE(Holds(lines[1], "\"status\":\"damaged\",\"address\":50,")) << lines[1];
  EXPECT_TRUE(Holds(lines[2], "\"address\":20,") &&
              Holds(lines[2], "\"speed\":19200,\"info\":\"VKM7;pipe\""));
  EXPECT_TRUE(Holds(lines[3], "\"address\":30,") && Holds(lines[3], "\"info\":\"KQ6;tank\"")) << lines[3];
  EXPECT_TRUE(
      Holds(lines[4], "\"asked\":102,\"planned\":102,\"devices\":3,\"unclear\":1,\"cancelled\":false"))
      << lines[4];
  EXPECT_EQ(Sim.Requests().size(), 102u);
  EXPECT_EQ(Sim.Requests()[0].Bytes, Bytes({0x2A, 0x61, 0x00, 0x05, 0x05, 0x01, 0xF3, 0x76, 0x0D}));
}

TEST_F(CommandTest, CtrlCEndsAScanWithWhatWasFoundSoFar) {
  Start({Device(1, 9600)});
  ChildProcess scan({TARNEL_CLI_PATH, "scan", "--port", "COM1"});
  EXPECT_EQ(scan.Line(), "1 (0x01)        9600 bit/s   found    HRW;hall");
  scan.Signal(SIGINT);
  const std::string summary = scan.Line();
  EXPECT_EQ(scan.Wait(), 130);
  EXPECT_TRUE(Holds(summary, "Interrupted after ")) << summary;
  EXPECT_LT(Sim.Requests().size(), 100u);
  // The port was let go: the line can be used again at once.
  EXPECT_EQ(Run({"info", "--port", "COM1", "--address", "1"}).Status, 0);
}

TEST_F(CommandTest, ValuesAreTheWindowsLogLinesAndDecodedInJson) {
  sim::TDeviceConfig hrw = Device(49, 9600);
  hrw.Values = EncodeTempHumidityDew(25.0, 50.0, 10.0);
  sim::TDeviceConfig refusing = Device(51, 9600);
  refusing.Faults.RefuseCode = 2;
  sim::TDeviceConfig vkm7 = Device(52, 9600, "VKM7;pipe");
  vkm7.Values = EncodeTemperature16(-23.40625);  // steps of 1/32 degree
  Start({hrw, refusing, vkm7});
  const ProgramRun text = Run({"values", "--port", "COM1", "--address", "49"});
  EXPECT_EQ(text.Status, 0) << text.Errors;
  EXPECT_EQ(text.Output,
            "Modul with address \"1\" - INFO : HRW;hall\n"
            "Modul with address \"1\" - temperature: 25.0°C humidity: 50.0% dew point: 10.0 Valid: 1\n");
  const ProgramRun json = Run({"values", "--port", "COM1", "--address", "0x31", "--json"});
  EXPECT_TRUE(
      Holds(json.Output, "\"values\":{\"temperature\":25,\"humidity\":50,\"dew_point\":10,\"valid\":true}"))
      << json.Output;

  // Every digit of a 1/32 step, not three decimals.
  const ProgramRun fine = Run({"values", "--port", "COM1", "--address", "52", "--json"});
  EXPECT_TRUE(Holds(fine.Output, "\"values\":{\"temperature\":-23.40625}}")) << fine.Output;

  const ProgramRun absent = Run({"info", "--port", "COM1", "--address", "50"});
  EXPECT_EQ(absent.Status, 1);
  EXPECT_EQ(absent.Output, "Modul with address \"2\" - no rsponse while reading values\n");
  EXPECT_EQ(Run({"info", "--port", "COM1", "--address", "51"}).Status, 3);
}

// 12 is a form feed, 127 DEL, 233 a Latin-1 letter: none reaches the terminal as a character.
TEST_F(CommandTest, AnAddressIsQuotedAsACharacterOnlyWhenThatIsPrintableAscii) {
  Start({Device(12, 9600), Device(127, 9600), Device(233, 9600), Device(32, 9600)});
  EXPECT_EQ(Run({"info", "--port", "COM1", "--address", "12"}).Output,
            "Modul with address 12 (0x0C) - INFO : HRW;hall\n");
  EXPECT_EQ(Run({"info", "--port", "COM1", "--address", "127"}).Output,
            "Modul with address 127 (0x7F) - INFO : HRW;hall\n");
  EXPECT_EQ(Run({"values", "--port", "COM1", "--address", "233"}).Output,
            "Modul with address 233 (0xE9) - INFO : HRW;hall\n"
            "Modul with address 233 (0xE9) - temperature: 21.5°C humidity: 45.0% dew point: 9.2 Valid: 1\n");
  EXPECT_EQ(Run({"info", "--port", "COM1", "--address", "32"}).Output,
            "Modul with address \" \" - INFO : HRW;hall\n");
  const ProgramRun scan = Run({"scan", "--port", "COM1", "--addresses", "12,32,127,233", "--timeout", "50"});
  const std::vector<std::string> lines = Lines(scan.Output);
  ASSERT_EQ(lines.size(), 5u) << scan.Output;
  EXPECT_EQ(lines[0].substr(0, 16), "12 (0x0C)       ");
  EXPECT_EQ(lines[1].substr(0, 16), "32 (0x20, \" \")  ");
  EXPECT_EQ(lines[2].substr(0, 16), "127 (0x7F)      ");
  EXPECT_EQ(lines[3].substr(0, 16), "233 (0xE9)      ");
}

TEST_F(CommandTest, SetAddressMovesTheDeviceChecksItThereAndRecordsTheChange) {
  Start({Device(49, 9600)});
  const ProgramRun run = Run({"set-address", "--port", "COM1", "--address", "49", "--new-address", "50",
                              "--new-speed", "19200", "--log", LogPath()});
  EXPECT_EQ(run.Status, 0) << run.Errors;
  EXPECT_EQ(run.Output,
            "New address and communication speed succesfully set.\n"
            "verified: asked at address 50 (0x32, \"2\") at 19200 bit/s.\n");
  EXPECT_EQ(Sim.Devices()[0].Address, 50);
  EXPECT_EQ(Sim.Devices()[0].Speed, 19200);
  ASSERT_GE(Sim.Requests().size(), 4u);
  EXPECT_EQ(Sim.Requests()[0].Bytes, BuildPacket97(50, 1, 0xF3, ""));  // the new place is free
  EXPECT_EQ(Sim.Requests()[2].Bytes,
            Bytes({0x2A, 0x61, 0x00, 0x07, 0x31, 0x01, 0xE0, 0x32, 0x07, 0x22, 0x0D}));
  EXPECT_EQ(SpeedsHeard().back(), 19200);

  // By serial number: a number nobody has is "not set", and that attempt is recorded too.
  const ProgramRun nobody = Run({"set-address", "--port", "COM1", "--speed", "19200", "--serial", "9999/0000",
                                 "--new-address", "60", "--log", LogPath(), "--json"});
  EXPECT_EQ(nobody.Status, 1);
  EXPECT_TRUE(Holds(nobody.Output, "\"outcome\":\"not set\"")) << nobody.Output;
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(Holds(log[0], "\"command\":\"set-address\",\"port\":\"COM1\""));
  EXPECT_TRUE(
      Holds(log[0], "\"answer\":\"2A6100053101003D0D\",\"outcome\":\"done\",\"verification\":\"verified\""));
  EXPECT_TRUE(Holds(log[1], "\"before\":{\"serial\":\"9999/0000\"}") &&
              Holds(log[1], "\"outcome\":\"not set\""));
}

// An occupied new address stops set-address before anything is written; two devices answering one burn,
// the second 120 ms after the first, are "several", not "set".
TEST_F(CommandTest, AnOccupiedAddressAndASecondAnswerAreNotClaimedAsDone) {
  sim::TDeviceConfig later = Device(50, 9600, "VKM7;other");
  later.Faults.AnswerDelayMs = 120;
  Start({Device(49, 9600), later});
  const ProgramRun taken = Run({"set-address", "--port", "COM1", "--address", "49", "--new-address", "50"});
  EXPECT_EQ(taken.Status, 3);
  EXPECT_TRUE(Holds(taken.Errors,
                    "A device already answers at address 50 (0x32, \"2\") at 9600 bit/s: "
                    "\"VKM7;other\". Nothing was sent; give --force to go on."))
      << taken.Errors;
  ASSERT_EQ(Sim.Requests().size(), 1u);
  EXPECT_EQ(Sim.Devices()[0].Address, 49);

  const ProgramRun burn =
      Run({"burn-serial", "--port", "COM1", "--serial", "0100/0001", "--yes", "--json", "--log", LogPath()});
  EXPECT_EQ(burn.Status, 5) << burn.Output;
  EXPECT_TRUE(Holds(burn.Output, "\"outcome\":\"several\"")) << burn.Output;
  ASSERT_EQ(LogLines().size(), 1u);
  EXPECT_TRUE(Holds(LogLines()[0], "\"outcome\":\"several\"") && !Holds(LogLines()[0], "\"after\""));
}

// Five different devices connected one after the other, each plugged in before the written one is taken
// off: the line never falls silent, and the other address and INFO text alone tell the next device.
TEST_F(CommandTest, AFiveDeviceRunFromCsvWritesEachNumberAndAppendsToTheRecord) {
  for (int k = 0; k < 5; ++k) {
    sim::TDeviceConfig unit = Device(static_cast<uint8_t>(21 + k), 9600, "HRW;unit " + std::to_string(k + 1));
    unit.Faults.Silent = k > 0;
    Sim.AddDevice(unit);
  }
  Sim.Start(Dir.Path(), 1);
  { std::ofstream(LogPath()) << "{\"earlier\":true}\n"; }
  const std::string csv = Dir.Path() + "/serials.csv";
  std::ofstream(csv)
      << "serial,label\n0100/0001,a\n0100-0002,b\n\n# spare\n0100\\0003\n0100/0004\n\"0100/0005\"\n";
  ChildProcess run({TARNEL_CLI_PATH, "burn-serial", "--port", "COM1", "--serials", csv, "--date",
                    "2027-03-01", "--yes", "--log", LogPath(), "--wait-timeout", "60"});
  for (int k = 1; k < 5; ++k) {
    ASSERT_TRUE(WaitForErrorLine(run, "waiting for the next device")) << k;
    // The written device has answered once after its write, as no hand can swap devices faster.
    ASSERT_TRUE(Sim.WaitForRequests(Sim.Requests().size() + 1, 20s));
    Sim.SetFaults(k, kConnected);
    Sim.SetFaults(k - 1, kRemoved);
  }
  const std::string output = run.Output();
  const std::string errors = run.Errors();
  EXPECT_EQ(run.Wait(), 0) << errors;
  EXPECT_FALSE(Holds(errors, "left the line")) << errors;
  ASSERT_EQ(Lines(output).size(), 5u) << output;
  EXPECT_EQ(Lines(output)[4], "0100/0005: Sériové číslo bylo nastaveno.");
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(Sim.Devices()[k].Serial.N2, k + 1);
    EXPECT_EQ(Sim.Devices()[k].DateText(), "2027-03-01");
  }
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0], "{\"earlier\":true}");
  for (int i = 1; i <= 5; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_TRUE(Holds(log[i], "\"written\":{\"serial\":\"0100/000" + n + "\",\"date\":\"2027-03-01\"}"));
    EXPECT_TRUE(Holds(log[i], "\"before\":{\"address\":" + std::to_string(20 + i) + ",") &&
                Holds(log[i], "\"info\":\"HRW;unit " + n + "\"}") && Holds(log[i], "\"outcome\":\"set\""))
        << log[i];
  }
}

// Devices alike in every answer, as on a production run: only the line falling silent tells the written
// device from the next.
TEST_F(CommandTest, ARunWritesTheNextNumberOnlyAfterTheWrittenDeviceLeftAndAnotherAnswers) {
  sim::TDeviceConfig next = Device(49, 9600);
  next.Faults.Silent = true;
  Start({Device(49, 9600), next});
  ChildProcess run({TARNEL_CLI_PATH, "burn-serial", "--port", "COM1", "--next", "0100/0001", "--count", "2",
                    "--yes", "--log", LogPath(), "--wait-timeout", "60"});
  ASSERT_TRUE(WaitForErrorLine(run, "waiting for the next device"));
  // The written device is asked again and again while it stays, and given nothing more.
  ASSERT_TRUE(Sim.WaitForRequests(Sim.Requests().size() + 3, 20s));
  EXPECT_EQ(BurnsHeard(), 1u);
  Sim.SetFaults(0, kRemoved);
  ASSERT_TRUE(WaitForErrorLine(run, "The written device has left the line"));
  EXPECT_EQ(BurnsHeard(), 1u);
  Sim.SetFaults(1, kConnected);
  const std::string output = run.Output();
  const std::string errors = run.Errors();
  EXPECT_EQ(run.Wait(), 0) << errors;
  EXPECT_TRUE(Holds(errors, "Next device: address 49 (0x31, \"1\"), INFO: HRW;hall")) << errors;
  EXPECT_EQ(output, "0100/0001: Sériové číslo bylo nastaveno.\n0100/0002: Sériové číslo bylo nastaveno.\n");
  EXPECT_EQ(BurnsHeard(), 2u);
  EXPECT_EQ(Sim.Devices()[0].Serial.N2, 1);
  EXPECT_EQ(Sim.Devices()[1].Serial.N2, 2);
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 2u);
  for (size_t i = 0; i < 2; ++i)
    EXPECT_TRUE(Holds(log[i], "\"before\":{\"address\":49,") && Holds(log[i], "\"info\":\"HRW;hall\"}") &&
                Holds(log[i], "\"serial\":\"0100/000" + std::to_string(i + 1) + "\""))
        << log[i];
}

TEST_F(CommandTest, ADeviceThatNeverLeavesEndsTheRunAtTheTimeOutWithOnlyTheFirstNumberWritten) {
  std::vector<std::string> simLog;  // the simulator's log, as --log writes it
  Sim.SetLog([&](const std::string& Line) { simLog.push_back(Line); });
  Start({Device(49, 9600)});
  const ProgramRun run = Run({"burn-serial", "--port", "COM1", "--next", "0100/0001", "--count", "3", "--yes",
                              "--log", LogPath(), "--wait-timeout", "2"});
  EXPECT_EQ(run.Status, 1) << run.Errors;
  EXPECT_EQ(run.Output,
            "0100/0001: Sériové číslo bylo nastaveno.\n"
            "Stopped after waiting 2 s for the next device (the written device never left the line): "
            "0100/0002 to 0100/0003 (2 numbers) were not written.\n");
  EXPECT_TRUE(Holds(run.Errors, "waiting for the next device")) << run.Errors;
  Sim.Stop();
  std::vector<std::string> changes;
  for (const std::string& line : simLog)
    if (Holds(line, "\"event\":\"state\"")) changes.push_back(line);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_TRUE(Holds(changes[0], "\"serial\":[100,1]")) << changes[0];
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(Holds(log[0], "\"written\":{\"serial\":\"0100/0001\"") && Holds(log[0], "\"outcome\":\"set\""));
}

TEST_F(CommandTest, CtrlCWhileWaitingForTheNextDeviceStopsTheRunAndSaysWhatWasNotWritten) {
  Start({Device(49, 9600)});
  ChildProcess run({TARNEL_CLI_PATH, "burn-serial", "--port", "COM1", "--next", "0100/0001", "--count", "2",
                    "--yes", "--json"});
  EXPECT_TRUE(Holds(run.Line(), "\"serial\":\"0100/0001\",\"date\":"));
  EXPECT_EQ(
      run.Line(),
      "{\"command\":\"burn-serial\",\"status\":\"waiting\",\"next\":\"0100/0002\",\"wait_timeout_s\":300}");
  run.Signal(SIGINT);
  const std::string rest = run.Output();
  EXPECT_EQ(run.Wait(), 130);
  EXPECT_EQ(rest,
            "{\"command\":\"burn-serial\",\"serial\":\"0100/0002\",\"outcome\":\"not written\","
            "\"reason\":\"interrupted\"}\n");
  EXPECT_EQ(BurnsHeard(), 1u);
}

TEST_F(CommandTest, ACountedRunStopsAtTheFirstRefusalAndTheRecordSaysSo) {
  sim::TDeviceConfig refusing = Device(49, 9600);
  refusing.Faults.RefuseCode = 3;
  Start({refusing});
  setenv("TARNEL_LOG", LogPath().c_str(), 1);
  const ProgramRun run =
      Run({"burn-serial", "--port", "COM1", "--next", "0100/9999", "--count", "3", "--yes"});
  unsetenv("TARNEL_LOG");
  EXPECT_EQ(run.Status, 3) << run.Errors;
  EXPECT_EQ(run.Output, "0100/9999: The device refused the serial number (result code 3).\n");
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(Holds(log[0], "\"outcome\":\"refused\"") && !Holds(log[0], "\"after\""));

  // A record that cannot be written stops the command before anything reaches the line.
  Sim.ClearRecords();
  const ProgramRun unlogged =
      Run({"burn-serial", "--port", "COM1", "--serial", "0100/0001", "--yes", "--log", Dir.Path()});
  EXPECT_EQ(unlogged.Status, 2);
  EXPECT_TRUE(Holds(unlogged.Errors, "Cannot open the log")) << unlogged.Errors;
  EXPECT_TRUE(Sim.Requests().empty());
}

TEST_F(CommandTest, TwoDevicesAtOneAddressAreReportedAsDamagedNotAsADevice) {
  Start({Device(8, 9600), Device(8, 9600, "VKM7;twin")});
  const ProgramRun run = Run({"scan", "--port", "COM1", "--addresses", "7-9", "--timeout", "50"});
  EXPECT_EQ(run.Status, 5);
  const std::vector<std::string> lines = Lines(run.Output);
  ASSERT_EQ(lines.size(), 2u) << run.Output;
  EXPECT_TRUE(Holds(lines[0], "damaged  a collision, noise, or two devices at this address")) << lines[0];
  EXPECT_EQ(lines[1].rfind("Scanned: 3 of 3 questions in ", 0), 0u) << lines[1];
  EXPECT_TRUE(Holds(lines[1], "0 devices answered, 1 unclear answer."));
}

TEST_F(CommandTest, BadArgumentsAndMissingPortsSendNothingAndSayWhy) {
  Start({Device(49, 9600)});
  const std::string csv = Dir.Path() + "/bad.csv";
  std::ofstream(csv) << "0100/0001\n0100/002\n";
  const std::string spaced = Dir.Path() + "/spaced.csv";
  std::ofstream(spaced) << "0100/0001\n0100 0002\n";
  const std::vector<std::vector<std::string>> refused = {
      {"burn-serial", "--port", "COM1", "--serial", "12/34", "--yes"},
      {"burn-serial", "--port", "COM1", "--serial", "1234 5678", "--yes"},
      {"burn-serial", "--port", "COM1", "--next", "1234.5678", "--count", "2", "--yes"},
      {"burn-serial", "--port", "COM1", "--serials", spaced, "--yes"},
      {"set-address", "--port", "COM1", "--serial", "1234_5678", "--new-address", "5"},
      {"burn-serial", "--port", "COM1", "--serial", "0100/0001", "--yes", "--wait-timeout", "0"},
      {"burn-serial", "--port", "COM1", "--serial", "0100/0001"},  // no terminal to confirm, no --yes
      {"burn-serial", "--port", "COM1", "--serials", csv, "--yes"},
      {"set-address", "--port", "COM1", "--address", "49", "--new-address", "254"},
      {"values", "--port", "COM1"},
      {"frobnicate"}};
  for (const auto& args : refused) {
    const ProgramRun run = Run(args);
    EXPECT_EQ(run.Status, 2) << args[0];
    EXPECT_EQ(Lines(run.Errors).size(), 1u) << run.Errors;
  }
  EXPECT_TRUE(Holds(Run(refused[7]).Errors, "bad.csv line 2: \"0100/002\""));
  EXPECT_EQ(Run(refused[1]).Errors,
            "tarnel: --serial must be a serial number as on the device label: four digits 0-9, a separator "
            "(/, \\ or -) and four digits (NNNN/NNNN), not \"1234 5678\"; nothing was written\n");
  EXPECT_TRUE(Holds(Run(refused[3]).Errors, "spaced.csv line 2: \"0100 0002\" is not a serial number"));
  EXPECT_TRUE(Sim.Requests().empty());

  const ProgramRun missing = Run({"find", "--port", "COM9"});
  EXPECT_EQ(missing.Status, 4);
  EXPECT_TRUE(Holds(missing.Errors, "tarnel: ") && Holds(missing.Errors, "COM9")) << missing.Errors;
  EXPECT_EQ(Lines(missing.Errors).size(), 1u);
  const ProgramRun ports = Run({"ports"});
  EXPECT_EQ(ports.Status, 0);
  EXPECT_TRUE(Holds(ports.Output, "COM1   " + Dir.Path() + "/COM1")) << ports.Output;
}

}  // namespace
}  // namespace tarnel::test
