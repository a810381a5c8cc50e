// One monitoring session: the TJoystick being watched, set up from the options;
// the demo controller and replayed recordings it may have attached; its event
// log; and what keeps it capturing while its controller comes and goes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DemoController.hpp"
#include "EventLog.hpp"
#include "Options.hpp"
#include "vorlane/Evdev.hpp"
#include "vorlane/Joystick.hpp"

namespace vorlane::JoyMon {

class TMonitor {
 public:
  explicit TMonitor(const TOptions& options);
  ~TMonitor();
  TMonitor(const TMonitor&) = delete;
  TMonitor& operator=(const TMonitor&) = delete;

  // Attaches the recordings of --device and the demo controller of --demo and
  // chooses the controller to watch. With `autoDemo`, the demo controller is
  // attached as well when no controller is attached at all and the options ask
  // for no particular one. Sets the component up from the options and assigns the
  // event log to its events. Raises Evdev::ERecordingError for a bad recording.
  void Start(bool autoDemo);

  Joystick::TJoystick& Joystick() { return *FJoystick; }
  TEventLog& Log() { return FLog; }
  TClock::time_point StartTime() const { return FStartTime; }
  // Whether the demo controller is attached, and whether joymon chose it itself.
  bool HasDemo() const { return FDemo != nullptr; }
  bool DemoChosenByJoymon() const { return FAutoDemo; }

  // Keeps the component capturing its controller: activates it when its
  // controller is attached and not captured, and captures it afresh when it
  // returns after it was away. A refused activation is tried again on the next
  // call. Returns whether the controller is attached.
  bool Tick();

  // The keys of the views. Each reports what went wrong through Notice.
  void SwitchController(int step);  // to the next (+1) or previous (-1) attached one
  void ToggleEventMode();
  void ToggleRawData();
  void ChangeThreshold(System::Integer delta);
  void ToggleDemoPlugged();  // unplugs or replugs the demo controller

  // The last thing worth telling the user (an action's result or failure, an
  // activation refused); empty when there is nothing.
  const std::string& Notice() const { return FNotice; }
  void SetNotice(std::string notice) { FNotice = std::move(notice); }

  static constexpr System::Integer ThresholdStep = 1000;

 private:
  void ApplySettings();
  void ApplyThreshold();

  const TOptions& FOptions;
  TClock::time_point FStartTime;
  // Declared before the component: the component goes first, releasing its capture
  // while the controllers are still there.
#if VORLANE_JOYMON_EVDEV
  std::vector<Evdev::TAttachedRecording> FRecordings;
#endif
  std::unique_ptr<TDemoController> FDemo;
  TEventLog FLog;
  std::unique_ptr<Joystick::TJoystick> FJoystick;
  bool FAutoDemo = false;
  bool FStale = false;  // the capture predates an unplug of its controller
  std::optional<System::Integer> FWantedThreshold;
  std::string FNotice;
};

// "Cannot ...: <message> (error 167)".
std::string ErrorText(const Joystick::EJoystickError& e);

}  // namespace vorlane::JoyMon
