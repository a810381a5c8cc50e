// Recordings replayed as controllers: each recording is one device, mapped like a
// kernel device; its E: lines are played on one thread at their recorded times
// (counted from Open), one device update per SYN_REPORT that changes the reading.
// When its events are over a controller stays attached at its last reading.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "joystick/JoystickDriver.hpp"
#include "joystick/evdev/DeviceMapping.hpp"
#include "joystick/evdev/EvemuReader.hpp"

namespace vorlane::JoystickService::EvdevBackend {

// When an event recorded `time` microseconds after the first is due in a replay
// that started at `start`. A time too far off for the clock saturates at the
// clock's end (never reached) rather than overflowing.
std::chrono::steady_clock::time_point ReplayDueTime(std::chrono::steady_clock::time_point start,
                                                    std::int64_t time);

class TReplayDriver final : public TJoystickDriver {
 public:
  explicit TReplayDriver(std::vector<TRecording> recordings);
  ~TReplayDriver() override;

  const char* Name() const override { return "replay"; }
  void Open(TDriverHost& host) override;
  void Close() override;

  // The number the host gave each recording's controller when opened (-1 when none
  // was free, or before Open), in list order.
  std::vector<int> Numbers() const;
  // Whether every recorded event has been played.
  bool Finished() const;
  // Waits until every recorded event has been played or `timeout` has passed.
  bool WaitUntilFinished(std::chrono::milliseconds timeout) const;

 private:
  struct TTrack {
    TRecording Recording;
    std::unique_ptr<TMappedDevice> Device;
    std::size_t Next = 0;  // the next event to play
    int Number = -1;
  };
  void Run();

  std::vector<TTrack> FTracks;
  TDriverHost* FHost = nullptr;
  std::thread FThread;
  mutable std::mutex FLock;
  mutable std::condition_variable FWake;
  bool FStop = false;      // guarded by FLock
  bool FFinished = false;  // guarded by FLock
};

}  // namespace vorlane::JoystickService::EvdevBackend
