// The built-in demo controller: a virtual controller with six axes, a hat and
// twelve buttons that moves in a smooth, repeating pattern driven by a timer of
// the thread's message loop, so that joymon's view and events are alive on a
// machine without any controller.
#pragma once

#include <memory>

#include "EventLog.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::JoyMon {

class TDemoController {
 public:
  static constexpr std::uint32_t UpdatePeriodMs = 20;
  static constexpr std::uint32_t ButtonCount = 12;

  // Attaches the controller (the lowest free number) with the pattern's state at
  // its start. Raises VirtualJoystick::EVirtualJoystickError when no number is free.
  TDemoController();
  // Stops the timer and detaches the controller.
  ~TDemoController();
  TDemoController(const TDemoController&) = delete;
  TDemoController& operator=(const TDemoController&) = delete;

  // Moves the controller every UpdatePeriodMs from now on, from the calling
  // thread's loop.
  void Start();
  System::Integer GetNumber() const;
  // Unplugs the controller, or plugs it back in: hotplug to try out without hardware.
  void TogglePlugged();
  bool GetPlugged() const { return FController.GetPlugged(); }

  // The description it is made from, and its state `seconds` into the pattern.
  static VirtualJoystick::TDescription Description();
  static VirtualJoystick::TControllerState PatternAt(double seconds);

 private:
  void Tick();

  VirtualJoystick::TVirtualController FController;
  TClock::time_point FStart;
  Messages::TThreadLoop* FLoop = nullptr;
  Messages::TThreadLoop::TId FTimer = 0;
};

}  // namespace vorlane::JoyMon
