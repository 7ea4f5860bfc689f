// The exchange's rules on a scripted line: no serial port, no pseudo-terminal, no Qt.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "protocol/Exchange.h"
#include "protocol/Instructions.h"
#include "protocol/Packet97.h"

namespace tarnel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bytes that arrive at given times after the request was written; records what the exchange did to it.
class TScriptedPort : public TExchangePort {
 public:
  void At(milliseconds After, const ByteString& Bytes) { FScript.push_back({After, Bytes}); }
  void Every(milliseconds Interval, milliseconds Until, const ByteString& Bytes) {
    for (milliseconds t = Interval; t < Until; t += Interval)
      At(t, Bytes);
  }

  bool Active() const override { return IsActive; }
  int32_t Speed() const override { return Bits; }
  void SetSpeed(int32_t BitsPerSecond) override { Bits = BitsPerSecond; }
  void PurgeRx() override { Calls += "purge-rx "; }
  void PurgeTx() override { Calls += "purge-tx "; }
  void Write(const ByteString& Bytes) override {
    if (FailWrite) throw std::runtime_error("write refused");
    Calls += "write ";
    Written += Bytes;
    FWrittenAt = Clock::now();
    std::sort(FScript.begin(), FScript.end(), [](auto& A, auto& B) { return A.first < B.first; });
  }
  int32_t BytesWaiting() override { return static_cast<int32_t>(Due().size()); }
  ByteString ReadAll() override {
    const ByteString bytes = Due();
    while (FNext < FScript.size() && Arrives(FNext) <= Clock::now())
      ++FNext;
    return bytes;
  }
  void WaitForArrival(int32_t TimeoutMs) override {
    ++Looks;
    LongestWaitMs = std::max(LongestWaitMs, TimeoutMs);
    Clock::time_point until = Clock::now() + milliseconds(TimeoutMs);
    if (FNext < FScript.size()) until = std::min(until, Arrives(FNext));
    // As a port's wait does, never before its time, also where one sleep can end early (Windows).
    while (Clock::now() < until)
      std::this_thread::sleep_until(until);
  }

  bool IsActive = true;
  bool FailWrite = false;
  int32_t Bits = 115200;
  std::string Calls;
  ByteString Written;
  int32_t LongestWaitMs = 0;
  int Looks = 0;                 // waits for arrival
  std::vector<double> PausesMs;  // each closing pause asked for, from the moment it was asked

  void PauseUntil(Clock::time_point Until) override {
    PausesMs.push_back(std::chrono::duration<double, std::milli>(Until - Clock::now()).count());
    TExchangePort::PauseUntil(Until);
  }

 private:
  Clock::time_point Arrives(size_t Index) const { return FWrittenAt + FScript[Index].first; }
  ByteString Due() const {
    ByteString bytes;
    for (size_t i = FNext; i < FScript.size() && Arrives(i) <= Clock::now(); ++i)
      bytes += FScript[i].second;
    return bytes;
  }

  std::vector<std::pair<milliseconds, ByteString>> FScript;
  size_t FNext = 0;
  Clock::time_point FWrittenAt;
};

ByteString gValidated;  // what the last validator call saw
uint16_t Accepting(const ByteString& Answer) {
  gValidated = Answer;
  return CheckPacket97(Answer);
}
uint16_t NeverAccepting(const ByteString& Answer) {
  gValidated = Answer;
  return 1;
}

class ExchangeRulesTest : public ::testing::Test {
 protected:
  ByteString Exchange(PacketValidator Validator = Accepting,
                      ExchangeOptions Options = StandardExchangeOptions, int32_t TimeoutMs = 500) {
    gValidated.clear();
    const Clock::time_point started = Clock::now();
    ByteString result = ExchangePacket(&port, request, TimeoutMs, Validator, Options);
    elapsedMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    return result;
  }

  TScriptedPort port;
  const ByteString request = BuildInfoRequest(0x31);
  const ByteString answer = BuildPacket97(0x31, 1, 0, "HRW;hall");
  double elapsedMs = 0;
};

TEST_F(ExchangeRulesTest, ClosedOrAbsentPortGivesNothingAndNoPause) {
  port.IsActive = false;
  EXPECT_EQ(Exchange(), "");
  EXPECT_EQ(port.Calls, "") << "no purge, nothing written";
  EXPECT_LT(elapsedMs, 5);
  EXPECT_EQ(ExchangePacket(nullptr, request, 500, Accepting, StandardExchangeOptions), "");
  EXPECT_TRUE(port.PausesMs.empty()) << "no pause";
}

TEST_F(ExchangeRulesTest, OptionsChooseThePurgesBeforeTheRequestGoesOut) {
  port.At(2ms, answer);
  Exchange();
  EXPECT_EQ(port.Calls, "purge-rx purge-tx write ");
  EXPECT_EQ(port.Written, request);
  for (auto [options, calls] : {std::pair<ExchangeOptions, const char*>{0, "write "},
                                {1u << eoPurgeRx, "purge-rx write "},
                                {1u << eoPurgeTx, "purge-tx write "}}) {
    TScriptedPort other;
    other.At(2ms, answer);
    ExchangePacket(&other, request, 500, Accepting, options);
    EXPECT_EQ(other.Calls, calls) << int(options);
  }
  port.FailWrite = true;
  EXPECT_THROW(Exchange(), std::runtime_error) << "the port's errors pass through";
}

// A valid answer ends the wait at once; the validator sees it without the echo before it.
TEST_F(ExchangeRulesTest, TheValidatorEndsTheWaitOnTheAnswerPart) {
  port.At(1ms, request);
  port.At(20ms, answer);
  EXPECT_EQ(Exchange(), request + answer);
  EXPECT_EQ(gValidated, answer);
  EXPECT_GE(elapsedMs, 20 + 10) << "the final pause follows";
  EXPECT_LT(elapsedMs, 140) << "well before the 151 ms quiet time";
  EXPECT_LE(port.Looks, 3) << "woken by the echo and the answer, not every millisecond";
}

TEST_F(ExchangeRulesTest, ARefusingOrAbsentValidatorLeavesTheQuietLineToEndIt) {
  port.At(20ms, answer);
  EXPECT_EQ(Exchange(NeverAccepting), answer);
  EXPECT_GE(elapsedMs, 20 + 151 + 10);
  EXPECT_LT(elapsedMs, 400);
  TScriptedPort other;
  other.At(20ms, answer);
  const Clock::time_point started = Clock::now();
  EXPECT_EQ(ExchangePacket(&other, request, 500, nullptr, StandardExchangeOptions), answer);
  EXPECT_GE(Clock::now() - started, 20ms + 151ms);
}

TEST_F(ExchangeRulesTest, NoAnswerWaitsTheTimeOutPlusTheRequestsLineTime) {
  port.Bits = 9600;
  EXPECT_EQ(Exchange(), "");
  EXPECT_GE(elapsedMs, 500 + 10 + 10) << "time-out, 9 bytes at 9600 bit/s, final pause";
  EXPECT_LT(elapsedMs, 800);
}

// Once an answer has begun only a quiet line ends the wait, even past the time-out (here within the bound
// of a 260-byte packet's line time); an echo alone does not shorten the time-out.
TEST_F(ExchangeRulesTest, ArrivalsMoveTheDeadlineButAnEchoKeepsTheTimeOut) {
  port.Bits = 9600;
  const ByteString header("*a\x01\x00", 4);
  port.At(50ms, header);
  for (milliseconds at : {150ms, 250ms, 350ms, 450ms})
    port.At(at, "\x55");
  EXPECT_EQ(Exchange(Accepting, StandardExchangeOptions, 300), header + "\x55\x55\x55\x55");
  EXPECT_GE(elapsedMs, 450 + 156 + 10);
  EXPECT_LT(elapsedMs, 737) << "the quiet line ends it, not the bound";

  TScriptedPort echoing;
  echoing.At(1ms, request);
  const Clock::time_point started = Clock::now();
  EXPECT_EQ(ExchangePacket(&echoing, request, 300, Accepting, StandardExchangeOptions), request);
  EXPECT_GE(Clock::now() - started, 300ms) << "not 151 ms after the echo";
}

// Noise every 20 ms would hold the quiet-line rule open for ever; the bound ends it. At 115200 bit/s with a
// 9-byte request and TimeoutMs 100 that is 1 + 100 + 151 ms for noise; an announced packet adds its own
// line time, at most that of the longest expected answer (1033 bytes, 1076 ms at 9600 bit/s).
TEST_F(ExchangeRulesTest, BytesThatKeepComingEndAtTheBound) {
  port.Every(20ms, 3s, "\x55");
  Exchange(Accepting, StandardExchangeOptions, 100);
  EXPECT_GE(elapsedMs, 252 + 10);
  EXPECT_LT(elapsedMs, 400);

  TScriptedPort huge;
  huge.Bits = 9600;
  huge.At(10ms, ByteString("*a\xFF\xFF", 4));
  huge.Every(50ms, 3s, "\x55");
  const Clock::time_point started = Clock::now();
  ExchangePacket(&huge, request, 50, Accepting, StandardExchangeOptions);
  const auto took = Clock::now() - started;
  EXPECT_GE(took, 50ms + 10ms + 1076ms + 156ms) << "a complete answer of that size is never cut";
  EXPECT_LT(took, 1700ms) << "a 65539-byte announcement counts as the longest expected answer";
}

// A quiet line costs one sleep to each deadline, not a look every millisecond; the wait still ends when the
// rules say, and the exchange ends with one 10 ms pause asked of the port.
class ExchangeWakeUpTest : public ExchangeRulesTest {};

TEST_F(ExchangeWakeUpTest, ASilentLineIsOneSleepToTheTimeOut) {
  port.Bits = 9600;
  EXPECT_EQ(Exchange(), "");
  EXPECT_GE(elapsedMs, 500 + 10 + 10);
  EXPECT_LE(port.Looks, 2);
  EXPECT_GE(port.LongestWaitMs, 500) << "the first wait reaches the time-out";
  ASSERT_EQ(port.PausesMs.size(), 1u);
  EXPECT_GT(port.PausesMs[0], 9.0);
  EXPECT_LE(port.PausesMs[0], 10.0);
}

// An unfinished answer holds the wait open for the quiet time after its latest byte, each byte moving that
// deadline: one look per arrival and one for the deadline.
TEST_F(ExchangeWakeUpTest, EachArrivalMovesTheNextWakeUpToItsQuietTime) {
  const ByteString header("*a\x20\x00", 4);
  port.At(10ms, header);
  port.At(60ms, "\x55");
  port.At(110ms, "\x55");
  EXPECT_EQ(Exchange(Accepting, StandardExchangeOptions, 100), header + "\x55\x55");
  EXPECT_GE(elapsedMs, 110 + 151 + 10);
  EXPECT_LT(elapsedMs, 400);
  EXPECT_LE(port.Looks, 5);
}

// Listening keeps the whole time-out however soon the answer came, and ends right after it while the line
// is quiet and the answer whole.
TEST_F(ExchangeWakeUpTest, ListeningSleepsToTheTimeOutAfterAWholeAnswer) {
  port.At(5ms, answer);
  const Clock::time_point started = Clock::now();
  EXPECT_EQ(ExchangeListening(&port, request, 200, StandardExchangeOptions), answer);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  EXPECT_GE(ms, 200 + 10);
  EXPECT_LT(ms, 200 + 151) << "a whole answer needs no quiet time";
  EXPECT_LE(port.Looks, 3);
}

// A validator that is content with no answer at all ends the exchange at the first look, as it always has.
TEST_F(ExchangeWakeUpTest, AValidatorTakingNothingEndsAtTheFirstLook) {
  port.At(100ms, answer);
  EXPECT_EQ(Exchange([](const ByteString&) -> uint16_t { return 0; }), "");
  EXPECT_LT(elapsedMs, 60);
  EXPECT_EQ(port.Looks, 1);
}

}  // namespace
}  // namespace tarnel
