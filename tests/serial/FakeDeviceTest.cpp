// What the port core and the component do with a driver that misbehaves on cue: a device in memory takes
// part of a write, fails in the middle of one, or reads out less than it counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "FakeSerialDevice.h"
#include "serial/AfComPort.h"
#include "serial/AfComPortCore.h"
#include "support/UiThreadWait.h"

namespace tarnel {
namespace {

using test::FakeLine;
using test::PumpUntil;

ByteString Pattern(size_t Count) {
  ByteString bytes;
  for (size_t i = 0; i < Count; ++i)
    bytes.push_back(static_cast<char>(i * 7 % 251));
  return bytes;
}

class FakeDeviceCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core.OnCoreEvent = [this](TAfComPortCore*, TAfCoreEvent Kind, uint32_t, std::exception_ptr Error) {
      if (Kind != ceException) return;
      try {
        std::rethrow_exception(Error);
      } catch (const EAfComPortLost& e) {
        std::lock_guard lock(losesLock);
        losses.push_back(e.what());
      } catch (...) {
      }
    };
  }
  void TearDown() override { core.ClosePort(); }
  size_t Losses() {
    std::lock_guard lock(losesLock);
    return losses.size();
  }

  FakeLine line;  // outlives the core and its device
  std::mutex losesLock;
  std::vector<std::string> losses;
  TAfComPortCore core{line.Factory()};
};

// A small ring that wraps many times, and a driver taking odd amounts, sometimes nothing.
TEST_F(FakeDeviceCoreTest, PartialWritesSendEveryByteOnceAndInOrder) {
  std::vector<int32_t> takes;
  for (int i = 0; i < 400; ++i)
    takes.push_back(std::vector<int32_t>{1, 7, 0, 13, 2, 64, 0, 5}[i % 8]);
  line.ScriptWrites(takes);
  core.SetOutQueueSize(64);
  ASSERT_TRUE(core.OpenPort(1));
  const ByteString data = Pattern(3000);
  for (size_t done = 0; done < data.size();) {
    const auto piece = static_cast<int32_t>(std::min<size_t>(37, data.size() - done));
    if (core.WriteBytes(data.data() + done, piece))
      done += static_cast<size_t>(piece);
    else
      ASSERT_TRUE(PumpUntil([&] { return core.OutputFree() >= piece; }, 5000)) << "stuck at " << done;
  }
  ASSERT_TRUE(PumpUntil([&] { return line.Written().size() >= data.size(); }, 10000));
  EXPECT_TRUE(PumpUntil([&] { return core.OutputFree() == 64; }, 2000)) << "the ring is empty afterwards";
  const ByteString written = line.Written();
  ASSERT_EQ(written.size(), data.size()) << "no byte twice";
  EXPECT_EQ(std::mismatch(written.begin(), written.end(), data.begin()).first - written.begin(),
            static_cast<std::ptrdiff_t>(data.size()))
      << "the first byte out of order";
}

// The exchanging thread purges an idle write thread's ring itself while that thread may be waking for the
// bytes just queued: a purge drops whole queued pieces or none, never sends a byte twice or out of order,
// and what is queued after the last purge always goes out.
TEST_F(FakeDeviceCoreTest, PurgesRacingTheWriteThreadDropOnlyWholePieces) {
  ASSERT_TRUE(core.OpenPort(1));
  constexpr int kPieces = 600;
  const auto piece = [](int Index) {
    char text[16];
    std::snprintf(text, sizeof text, "<%05d>", Index);
    return ByteString(text);
  };
  int purges = 0;
  for (int i = 0; i < kPieces; ++i) {
    const ByteString bytes = piece(i);
    ASSERT_TRUE(PumpUntil([&] { return core.OutputFree() >= 7; }, 5000));
    ASSERT_TRUE(core.WriteBytes(bytes.data(), 7));
    if (i % 3 == 0) {
      ASSERT_TRUE(core.PurgeOutput()) << "purge " << i;
      ++purges;
    }
  }
  const ByteString last = piece(kPieces);
  ASSERT_TRUE(core.WriteBytes(last.data(), 7));
  ASSERT_TRUE(PumpUntil([&] { return line.Written().ends_with(last); }, 5000));
  EXPECT_EQ(line.OutputPurges(), purges) << "every purge reached the driver";
  const ByteString written = line.Written();
  ASSERT_EQ(written.size() % 7, 0u) << written;
  int previous = -1;
  for (size_t at = 0; at < written.size(); at += 7) {
    int index = -1;
    ASSERT_EQ(std::sscanf(written.substr(at, 7).c_str(), "<%05d>", &index), 1) << "a torn piece at " << at;
    EXPECT_GT(index, previous) << "twice or out of order at " << at;
    previous = index;
  }
}

TEST_F(FakeDeviceCoreTest, AWriteFailingMidwayReportsTheLossOnceAndTakesNothingMore) {
  line.ScriptWrites({10, FakeLine::kFails});
  ASSERT_TRUE(core.OpenPort(1));
  const ByteString data = Pattern(30);
  ASSERT_TRUE(core.WriteBytes(data.data(), 30));
  ASSERT_TRUE(PumpUntil([&] { return Losses() > 0; }, 5000));
  EXPECT_TRUE(core.DeviceGone());
  EXPECT_FALSE(core.WriteBytes("x", 1));
  PumpUntil([] { return false; }, 500);
  EXPECT_EQ(Losses(), 1u);
  EXPECT_EQ(losses[0], LostPortText(1));
  EXPECT_EQ(line.Written(), data.substr(0, 10));
}

// Every component opens its device on the line while this lives.
class ComPortOnFakeDeviceTest : public ::testing::Test {
 protected:
  ComPortOnFakeDeviceTest() : previous(TAfComPortCore::SetDefaultDeviceFactory(line.Factory())) {
    port.SetComNumber(1);
  }
  ~ComPortOnFakeDeviceTest() override {
    port.Close();
    TAfComPortCore::SetDefaultDeviceFactory(previous);
  }

  FakeLine line;
  TSerialDeviceFactory previous;
  TAfComPort port;
};

TEST_F(ComPortOnFakeDeviceTest, AStringHoldsOnlyTheBytesTheDriverGave) {
  port.Open();
  ASSERT_TRUE(port.Active());
  line.ScriptReads({4});
  line.Arrive("abcdefghij");
  EXPECT_EQ(port.ReadBufUsed(), 10);
  EXPECT_EQ(port.ReadString(), "abcd");
  EXPECT_EQ(port.ReadString(), "efghij");
  EXPECT_EQ(port.ReadString(), "");
}

}  // namespace
}  // namespace tarnel
