#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/ByteString.h"
#include "sim/Device.h"
#include "sim/Line.h"
#include "sim/Pty.h"
#include "sim/Receiver.h"

namespace tarnel::platform {
class Event;
}

namespace tarnel::sim {

// Something the devices heard on the line: a complete valid packet, or noise that formed none.
struct THeardRequest {
  TClock::time_point At;  // arrival of its first byte
  double TimeMs = 0.0;    // the same, in ms since Start
  int32_t Speed = 0;      // the port's speed (bit/s) at that moment
  ByteString Bytes;
  bool Packet = false;
  std::vector<int> HeardBy;  // the devices (AddDevice indices) running at that speed
};

// One finished transmission of a device: its echo, stray byte and answer, as the device sent them.
struct TAnswerRecord {
  int Device = -1;
  ByteString Bytes;               // everything the device put on the line for this request
  ByteString Answer;              // the answer packet alone; empty when only an echo went out
  bool Collided = false;          // another device sent at the same time: the port received noise instead
  TClock::time_point StartAt;     // when its first byte was due
  TClock::time_point FinishedAt;  // just after its last byte was written to the line
};

// Receives every log record as one JSON object (without the line end), on the simulator's thread while it
// holds its lock: a sink must not call back into the simulator.
using TLogSink = std::function<void(const std::string& JsonLine)>;

// Simulated Tarnel devices on one serial line, played on a pseudo-terminal that appears to the tool as
// COM<n> (a link in the directory the tool is given as TARNEL_COM_DIR).
//
//   TDeviceSimulator sim;
//   sim.AddDevice({.Address = 49, .Speed = 9600, .Info = "HRW;hall"});
//   sim.Start(dir, 1);                 // dir/COM1 -> /dev/pts/N
//   ... the tool opens COM1 at 9600 bit/s and exchanges packets ...
//   sim.WaitForAnswers(1, 2s);
//   sim.Requests()[0].Bytes;           // what the tool sent
//   sim.Devices()[0].Address;          // what the device now holds
//
// Behaviour of the line:
// - A device hears a request only when the port's speed, as the tool set it on the slave, equals the
//   device's own speed; requests go to its address or to the universal address 254.
// - An answer starts when the request would have finished on a real line (its bytes times one character
//   time after it arrived), plus the device's answer delay, and is paced at ten bit times a byte.
// - Bytes of two devices that overlap in time reach the port as noise (see TLineSchedule).
// - A device that changes its address or speed does so once its answer is out.
// - A babbling device (BabbleIntervalMs) sends its noise byte on its own schedule from Start on; those
//   bytes are neither answers nor records, but they collide with answers like any other byte.
//
// Every public member may be called from any thread; the devices run on the simulator's own thread.
// Devices may be added and changed before Start and while running; the simulator may be started again
// after Stop, and the devices keep their state. Records accumulate until ClearRecords, also across a
// restart, and stay readable after Stop.
class TDeviceSimulator {
 public:
  TDeviceSimulator();
  TDeviceSimulator(const TDeviceSimulator&) = delete;
  TDeviceSimulator& operator=(const TDeviceSimulator&) = delete;
  ~TDeviceSimulator();

  // Adds a device to the line; returns its index for the calls below.
  int AddDevice(const TDeviceConfig& Config);
  void SetFaults(int Device, const TDeviceFaults& Faults);
  void SetValues(int Device, const ByteString& Values);
  void SetInfo(int Device, const std::string& Info);

  // Every device's current state, in AddDevice order.
  std::vector<TDeviceState> Devices() const;

  // Where the JSON-lines log goes (see README); none by default.
  void SetLog(TLogSink Sink);

  // Creates the pseudo-terminal, links ComDir/COM<ComNumber> to it (creating ComDir if needed) and starts
  // the devices. Throws tarnel::Exception when that fails or the simulator already runs.
  void Start(const std::string& ComDir, int ComNumber);

  // Removes the link, closes the pseudo-terminal and stops the thread; what was still to be sent is lost.
  void Stop();

  bool Running() const;
  std::string LinkPath() const;
  std::string SlavePath() const;

  // The line speed the tool has set on the port (bit/s); 0 while not running.
  int32_t PortSpeed() const;

  // Everything heard, and every finished transmission, in order.
  std::vector<THeardRequest> Requests() const;
  std::vector<TAnswerRecord> Answers() const;
  void ClearRecords();

  // Wait until at least Count records exist, or the line has nothing left to send or to finish receiving;
  // false when Timeout passed first.
  bool WaitForRequests(size_t Count, std::chrono::milliseconds Timeout) const;
  bool WaitForAnswers(size_t Count, std::chrono::milliseconds Timeout) const;
  bool WaitIdle(std::chrono::milliseconds Timeout) const;

 private:
  struct TTransmission {
    TAnswerRecord Record;
    TDeviceAction Action;
    bool Babble = false;  // one noise byte of a babbling device: no record, no log
  };

  void Run();
  TClock::time_point NextWakeup(TClock::time_point Now) const;
  void WaitForLine(TClock::time_point Until);
  ByteString ReadLine(TClock::time_point Now);
  void Hear(const ByteString& Chunk, int32_t Speed, TClock::time_point Now);
  void Record(const TReceived& Received, int32_t Speed);
  void Dispatch(THeardRequest& Request, TClock::time_point Now);
  void Transmit(int Device, const THeardRequest& Request, const TDeviceAction& Action,
                TClock::time_point Now);
  void SendDue(TClock::time_point Now);
  void Babble(TClock::time_point Now);
  void Finish(int Id, TClock::time_point WrittenAt);
  void WakeThread();
  TSimDevice& DeviceAt(int Index);
  double SinceStartMs(TClock::time_point At) const;
  void Log(const std::string& Line);
  void LogDevice(const char* Event, int Index);
  bool Idle() const;

  mutable std::mutex FMutex;
  mutable std::condition_variable FChanged;
  std::vector<TSimDevice> FDevices;
  std::vector<THeardRequest> FRequests;
  std::vector<TAnswerRecord> FAnswers;
  std::map<int, TTransmission> FPending;
  std::map<int, TClock::time_point> FBabbleAt;  // each babbling device's next noise byte
  int FNextId = 1;
  TLineSchedule FLine;
  TRequestReceiver FReceiver;
  TLogSink FLog;
  TPty FPty;
  std::unique_ptr<platform::Event> FWake;  // interrupts the thread's wait
  bool FStopping = false;
  TClock::time_point FStartedAt;
  TClock::time_point FMasterMutedUntil;  // after a hang-up the master is not watched for a while
  std::thread FThread;
};

// Opens (appends to) a log file, or takes "-" for standard output; throws tarnel::Exception on failure.
TLogSink LogToFile(const std::string& Path);

}  // namespace tarnel::sim
