// One DirectInput instance's playback of a script: the devices' states, the clock
// that moves them, and the events signalled when a state changes.
#pragma once

#include <windows.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "DeviceScript.hpp"

namespace vorlane::dinput {

struct DeviceState {
  std::array<std::int32_t, kMaxAxes> axes{};  // in the device's own units
  std::int32_t hat = kHatCentred;
  std::array<bool, kMaxButtons> buttons{};
  bool attached = true;
  std::uint32_t unplugs = 0;  // how often the device has gone away so far
};

class Session {
 public:
  explicit Session(DeviceScript script);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const DeviceScript& script() const { return script_; }

  // Starts the script's clock; later calls leave it running.
  void start();

  // The device's state now: every step whose time has come is applied.
  DeviceState state(int device);

  // While `event` is registered for `owner`, it is signalled whenever the device's
  // state changes. A null event removes the registration.
  void notify(const void* owner, int device, HANDLE event);

 private:
  struct Notification {
    const void* owner;
    int device;
    HANDLE event;
  };

  void advanceLocked();
  void armLocked();
  static void CALLBACK onTimer(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER);

  std::mutex mutex_;
  const DeviceScript script_;
  std::vector<DeviceState> states_;
  std::size_t next_ = 0;  // the first step not yet applied
  bool started_ = false;
  std::chrono::steady_clock::time_point start_;
  std::vector<Notification> notifications_;
  PTP_TIMER timer_ = nullptr;
};

}  // namespace vorlane::dinput
