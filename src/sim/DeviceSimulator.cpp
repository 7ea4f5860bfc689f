#include "sim/DeviceSimulator.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "common/Exception.h"
#include "common/JsonLine.h"
#include "protocol/Packet97.h"
#include "serial/platform/Event.h"
#include "sim/Values.h"

namespace tarnel::sim {

namespace {

using std::chrono::milliseconds;

// How long the master is left alone after it reported a hang-up, so a closed line never spins the thread.
constexpr milliseconds HangupPause(20);
// The longest the thread sleeps when nothing is due; a wake-up ends it early anyway.
constexpr milliseconds IdleWait(500);

timespec TimespecOf(TClock::duration Wait) {
  if (Wait < TClock::duration::zero()) Wait = TClock::duration::zero();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Wait).count();
  return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

bool SameState(const TDeviceState& A, const TDeviceState& B) {
  return A.Address == B.Address && A.Speed == B.Speed && A.Serial.N1 == B.Serial.N1 &&
         A.Serial.N2 == B.Serial.N2 && A.Date == B.Date;
}

}  // namespace

TDeviceSimulator::TDeviceSimulator() = default;

TDeviceSimulator::~TDeviceSimulator() {
  Stop();
}

int TDeviceSimulator::AddDevice(const TDeviceConfig& Config) {
  std::lock_guard lock(FMutex);
  FDevices.emplace_back(Config);
  const int index = static_cast<int>(FDevices.size()) - 1;
  if (FThread.joinable()) LogDevice("device", index);
  WakeThread();  // a babbling device starts at once
  return index;
}

TSimDevice& TDeviceSimulator::DeviceAt(int Index) {
  if (Index < 0 || Index >= static_cast<int>(FDevices.size()))
    throw Exception("no simulated device " + std::to_string(Index));
  return FDevices[static_cast<size_t>(Index)];
}

void TDeviceSimulator::SetFaults(int Device, const TDeviceFaults& Faults) {
  std::lock_guard lock(FMutex);
  DeviceAt(Device).SetFaults(Faults);
  WakeThread();
}

void TDeviceSimulator::SetValues(int Device, const ByteString& Values) {
  std::lock_guard lock(FMutex);
  DeviceAt(Device).SetValues(Values);
}

void TDeviceSimulator::SetInfo(int Device, const std::string& Info) {
  std::lock_guard lock(FMutex);
  DeviceAt(Device).SetInfo(Info);
}

std::vector<TDeviceState> TDeviceSimulator::Devices() const {
  std::lock_guard lock(FMutex);
  std::vector<TDeviceState> states;
  for (const TSimDevice& device : FDevices)
    states.push_back(device.State());
  return states;
}

void TDeviceSimulator::SetLog(TLogSink Sink) {
  std::lock_guard lock(FMutex);
  FLog = std::move(Sink);
}

void TDeviceSimulator::Start(const std::string& ComDir, int ComNumber) {
  std::lock_guard lock(FMutex);
  if (FThread.joinable()) throw Exception("the simulator is already running on " + FPty.LinkPath());
  if (ComNumber < 1) throw Exception("COM number must be 1 or more, not " + std::to_string(ComNumber));
  FPty.Open(ComDir + "/COM" + std::to_string(ComNumber));
  try {
    FWake = std::make_unique<platform::Event>(platform::Event::Kind::AutoReset);
  } catch (const std::exception&) {
    FPty.Close();
    throw Exception("cannot create the simulator's wake-up event");
  }
  FStartedAt = TClock::now();
  FMasterMutedUntil = FStartedAt;
  FStopping = false;
  Log(TJsonLine()
          .Add("t_ms", 0.0)
          .Add("event", "start")
          .Add("link", FPty.LinkPath())
          .Add("pty", FPty.SlavePath())
          .Text());
  for (int i = 0; i < static_cast<int>(FDevices.size()); ++i)
    LogDevice("device", i);
  FThread = std::thread([this] { Run(); });
}

void TDeviceSimulator::Stop() {
  {
    std::lock_guard lock(FMutex);
    if (!FThread.joinable()) return;
    FStopping = true;
  }
  WakeThread();
  FThread.join();
  std::lock_guard lock(FMutex);
  Log(TJsonLine().Add("t_ms", SinceStartMs(TClock::now())).Add("event", "stop").Text());
  FPty.Close();
  FWake.reset();
  FPending.clear();
  FBabbleAt.clear();
  FLine = TLineSchedule();
  FReceiver = TRequestReceiver();
  FChanged.notify_all();
}

bool TDeviceSimulator::Running() const {
  std::lock_guard lock(FMutex);
  return FThread.joinable();
}

std::string TDeviceSimulator::LinkPath() const {
  std::lock_guard lock(FMutex);
  return FPty.LinkPath();
}

std::string TDeviceSimulator::SlavePath() const {
  std::lock_guard lock(FMutex);
  return FPty.SlavePath();
}

int32_t TDeviceSimulator::PortSpeed() const {
  std::lock_guard lock(FMutex);
  return FPty.Speed();
}

std::vector<THeardRequest> TDeviceSimulator::Requests() const {
  std::lock_guard lock(FMutex);
  return FRequests;
}

std::vector<TAnswerRecord> TDeviceSimulator::Answers() const {
  std::lock_guard lock(FMutex);
  return FAnswers;
}

void TDeviceSimulator::ClearRecords() {
  std::lock_guard lock(FMutex);
  FRequests.clear();
  FAnswers.clear();
}

bool TDeviceSimulator::WaitForRequests(size_t Count, milliseconds Timeout) const {
  std::unique_lock lock(FMutex);
  return FChanged.wait_for(lock, Timeout, [&] { return FRequests.size() >= Count; });
}

bool TDeviceSimulator::WaitForAnswers(size_t Count, milliseconds Timeout) const {
  std::unique_lock lock(FMutex);
  return FChanged.wait_for(lock, Timeout, [&] { return FAnswers.size() >= Count; });
}

bool TDeviceSimulator::WaitIdle(milliseconds Timeout) const {
  std::unique_lock lock(FMutex);
  return FChanged.wait_for(lock, Timeout, [&] { return Idle(); });
}

bool TDeviceSimulator::Idle() const {
  return FLine.Idle() && FPending.empty() && !FReceiver.Pending();
}

void TDeviceSimulator::WakeThread() {
  if (FWake) FWake->Set();
}

// The thread: wait for bytes from the tool or the next byte due on the line, then hear and send.
void TDeviceSimulator::Run() {
  std::unique_lock lock(FMutex);
  while (!FStopping) {
    Babble(TClock::now());
    const TClock::time_point until = NextWakeup(TClock::now());
    lock.unlock();
    WaitForLine(until);
    const TClock::time_point now = TClock::now();
    ByteString chunk = ReadLine(now);
    const int32_t speed = chunk.empty() ? 0 : TerminalSpeed(FPty.Master());
    lock.lock();
    Hear(chunk, speed, now);
    SendDue(TClock::now());
    FChanged.notify_all();
  }
}

TClock::time_point TDeviceSimulator::NextWakeup(TClock::time_point Now) const {
  TClock::time_point next = Now + IdleWait;
  if (auto due = FLine.NextAt(); due && *due < next) next = *due;
  if (auto expiry = FReceiver.ExpiresAt(); expiry && *expiry < next) next = *expiry;
  if (FMasterMutedUntil > Now && FMasterMutedUntil < next) next = FMasterMutedUntil;
  for (const auto& [device, at] : FBabbleAt)
    if (at < next) next = at;
  return next;
}

void TDeviceSimulator::WaitForLine(TClock::time_point Until) {
  const TClock::time_point now = TClock::now();
  pollfd fds[2] = {{FWake->PollFd(), POLLIN, 0}, {FMasterMutedUntil > now ? -1 : FPty.Master(), POLLIN, 0}};
  const timespec timeout = TimespecOf(Until - now);
  if (::ppoll(fds, 2, &timeout, nullptr) <= 0) return;
  if (fds[0].revents & POLLIN) FWake->Reset();
  if ((fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & POLLIN))
    FMasterMutedUntil = TClock::now() + HangupPause;
}

// Everything the tool has written so far; a hang-up or read error mutes the master for a while.
ByteString TDeviceSimulator::ReadLine(TClock::time_point Now) {
  ByteString chunk;
  if (FMasterMutedUntil > Now) return chunk;
  char buffer[4096];
  for (;;) {
    const ssize_t count = ::read(FPty.Master(), buffer, sizeof buffer);
    if (count > 0) {
      chunk.append(buffer, static_cast<size_t>(count));
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) FMasterMutedUntil = Now + HangupPause;
    return chunk;
  }
}

void TDeviceSimulator::Hear(const ByteString& Chunk, int32_t Speed, TClock::time_point Now) {
  for (const TReceived& received : FReceiver.Feed(Chunk, Now))
    Record(received, Speed);
}

void TDeviceSimulator::Record(const TReceived& Received, int32_t Speed) {
  THeardRequest request;
  request.At = Received.At;
  request.TimeMs = SinceStartMs(Received.At);
  request.Speed = Speed;
  request.Bytes = Received.Bytes;
  request.Packet = Received.Packet;
  if (request.Packet) Dispatch(request, TClock::now());
  Log(TJsonLine()
          .Add("t_ms", request.TimeMs)
          .Add("event", request.Packet ? "request" : "noise")
          .Add("speed", static_cast<int64_t>(Speed))
          .Add("bytes", HexOf(request.Bytes))
          .Add("heard_by", request.HeardBy)
          .Text());
  FRequests.push_back(std::move(request));
}

void TDeviceSimulator::Dispatch(THeardRequest& Request, TClock::time_point Now) {
  TTarnelFormat97 packet;
  try {
    packet = ParsePacket97(Request.Bytes);
  } catch (const Exception&) {
    return;  // a valid packet too short to carry a code: no device takes it
  }
  for (int i = 0; i < static_cast<int>(FDevices.size()); ++i) {
    TSimDevice& device = FDevices[static_cast<size_t>(i)];
    if (device.State().Speed != Request.Speed) continue;
    Request.HeardBy.push_back(i);
    const TDeviceState before = device.State();
    TDeviceAction action;
    try {
      action = device.Handle(packet);
    } catch (const std::exception& error) {
      Log(TJsonLine()
              .Add("t_ms", SinceStartMs(Now))
              .Add("event", "error")
              .Add("device", i)
              .Add("message", error.what())
              .Text());
      continue;
    }
    if (!SameState(before, device.State())) LogDevice("state", i);
    Transmit(i, Request, action, Now);
  }
}

// Schedules what one device puts on the line for a request: the echo, the stray byte, the answer.
void TDeviceSimulator::Transmit(int Device, const THeardRequest& Request, const TDeviceAction& Action,
                                TClock::time_point Now) {
  const TDeviceFaults& faults = FDevices[static_cast<size_t>(Device)].State().Faults;
  const TClock::duration charTime = CharTimeOf(Request.Speed);
  TTransmission transmission;
  transmission.Record.Device = Device;
  transmission.Action = Action;
  std::vector<TTimedByte> timed;
  if (faults.Echo) {
    timed = PaceBytes(Request.Bytes, Now, charTime);
    transmission.Record.Bytes = Request.Bytes;
  }
  if (Action.Answers && faults.LostAnswer) {
    // Nothing reaches the line, but the device has done what it was asked.
    TSimDevice& device = FDevices[static_cast<size_t>(Device)];
    const TDeviceState before = device.State();
    device.TakeNewSettings(Action);
    if (!SameState(before, device.State())) LogDevice("state", Device);
  } else if (Action.Answers) {
    const ByteString stray =
        faults.StrayByte ? ByteString(1, static_cast<char>(faults.StrayValue)) : ByteString();
    const ByteString body = stray + Action.Answer;
    const auto start =
        Now + charTime * static_cast<int>(Request.Bytes.size()) + milliseconds(faults.AnswerDelayMs);
    const size_t splitAt = faults.SplitGapMs > 0 ? stray.size() + Action.Answer.size() / 2 : 0;
    for (const TTimedByte& byte : PaceBytes(body, start, charTime, splitAt, milliseconds(faults.SplitGapMs)))
      timed.push_back(byte);
    transmission.Record.Bytes += body;
    transmission.Record.Answer = Action.Answer;
  }
  if (timed.empty()) return;
  transmission.Record.StartAt = timed.front().At;
  const int id = FNextId++;
  FLine.Add(id, timed, charTime);
  FPending.emplace(id, std::move(transmission));
}

void TDeviceSimulator::SendDue(TClock::time_point Now) {
  for (const TReceived& received : FReceiver.Expire(Now))
    Record(received, FPty.Speed());
  TWireChunk chunk = FLine.TakeDue(Now);
  TClock::time_point writtenAt = Now;
  if (!chunk.Bytes.empty()) {
    const ssize_t written = ::write(FPty.Master(), chunk.Bytes.data(), chunk.Bytes.size());
    writtenAt = TClock::now();
    if (written < static_cast<ssize_t>(chunk.Bytes.size()))
      Log(TJsonLine()
              .Add("t_ms", SinceStartMs(Now))
              .Add("event", "overrun")
              .Add("lost", static_cast<int64_t>(chunk.Bytes.size() - (written < 0 ? 0 : written)))
              .Text());
  }
  for (int id : chunk.Collided)
    if (auto pending = FPending.find(id); pending != FPending.end()) pending->second.Record.Collided = true;
  for (int id : chunk.Finished)
    Finish(id, writtenAt);
}

void TDeviceSimulator::Finish(int Id, TClock::time_point WrittenAt) {
  auto pending = FPending.find(Id);
  if (pending == FPending.end()) return;
  TTransmission transmission = std::move(pending->second);
  FPending.erase(pending);
  if (transmission.Babble) return;
  TAnswerRecord& record = transmission.Record;
  record.FinishedAt = WrittenAt;
  Log(TJsonLine()
          .Add("t_ms", SinceStartMs(record.FinishedAt))
          .Add("event", "answer")
          .Add("device", record.Device)
          .Add("start_ms", SinceStartMs(record.StartAt))
          .Add("bytes", HexOf(record.Bytes))
          .Add("collided", record.Collided)
          .Text());
  TSimDevice& device = FDevices[static_cast<size_t>(record.Device)];
  const TDeviceState before = device.State();
  device.TakeNewSettings(transmission.Action);
  if (!SameState(before, device.State())) LogDevice("state", record.Device);
  FAnswers.push_back(std::move(record));
}

// Puts the noise byte of every babbling device on the line when it is due. A thread that woke late sends
// one byte and goes on from now, rather than a burst of the bytes it missed.
void TDeviceSimulator::Babble(TClock::time_point Now) {
  for (int i = 0; i < static_cast<int>(FDevices.size()); ++i) {
    const TDeviceState& state = FDevices[static_cast<size_t>(i)].State();
    const milliseconds interval(state.Faults.BabbleIntervalMs);
    if (interval <= milliseconds::zero()) {
      FBabbleAt.erase(i);
      continue;
    }
    TClock::time_point& next = FBabbleAt.try_emplace(i, Now + interval).first->second;
    if (next > Now) continue;
    TTransmission transmission;
    transmission.Babble = true;
    transmission.Record.Device = i;
    transmission.Record.StartAt = next;
    const int id = FNextId++;
    FLine.Add(id, {TTimedByte{next, state.Faults.BabbleValue}}, CharTimeOf(state.Speed));
    FPending.emplace(id, std::move(transmission));
    next += interval;
    if (next <= Now) next = Now + interval;
  }
}

double TDeviceSimulator::SinceStartMs(TClock::time_point At) const {
  return std::chrono::duration<double, std::milli>(At - FStartedAt).count();
}

void TDeviceSimulator::Log(const std::string& Line) {
  if (FLog) FLog(Line);
}

void TDeviceSimulator::LogDevice(const char* Event, int Index) {
  const TDeviceState& state = FDevices[static_cast<size_t>(Index)].State();
  Log(TJsonLine()
          .Add("t_ms", SinceStartMs(TClock::now()))
          .Add("event", Event)
          .Add("device", Index)
          .Add("address", static_cast<int>(state.Address))
          .Add("speed", static_cast<int64_t>(state.Speed))
          .Add("serial", std::vector<int>{state.Serial.N1, state.Serial.N2})
          .Add("date", state.DateText())
          .Add("info", state.Info)
          .Add("values", HexOf(state.Values))
          .Text());
}

TLogSink LogToFile(const std::string& Path) {
  if (Path == "-")
    return [](const std::string& Line) {
      std::fputs((Line + "\n").c_str(), stdout);
      std::fflush(stdout);
    };
  std::shared_ptr<std::FILE> file(std::fopen(Path.c_str(), "a"), [](std::FILE* f) {
    if (f) std::fclose(f);
  });
  if (!file) throw Exception("cannot open the log file " + Path);
  return [file](const std::string& Line) {
    std::fputs((Line + "\n").c_str(), file.get());
    std::fflush(file.get());
  };
}

}  // namespace tarnel::sim
