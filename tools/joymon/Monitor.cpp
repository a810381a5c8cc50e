#include "Monitor.hpp"

#include <algorithm>

#include "TypeNames.hpp"
#include "vorlane/JoystickBinding.hpp"

namespace vorlane::JoyMon {

using Joystick::EJoystickError;
using System::Integer;

std::string ErrorText(const EJoystickError& e) {
  return System::StringToUtf8(e.GetMessage()) + " (error " + std::to_string(e.ErrorCode) + ")";
}

TMonitor::TMonitor(const TOptions& options)
    : FOptions(options),
      FStartTime(TClock::now()),
      FJoystick(std::make_unique<Joystick::TJoystick>(nullptr)) {}

TMonitor::~TMonitor() {
  // Release the capture before the controllers it captures are detached.
  if (FJoystick) {
    try {
      FJoystick->SetActive(false);
    } catch (const EJoystickError&) {
      // The controller is gone already; nothing is left to release.
    }
    FJoystick.reset();
  }
}

void TMonitor::Start(bool autoDemo) {
  Joystick::TJoystick& j = *FJoystick;
  // The first query starts the joystick service, which recordings are attached to.
  const Integer count = j.GetControllerCount();

  std::optional<Integer> chosen = FOptions.Controller;
  // A number the service does not have never comes back, so it is refused here
  // rather than shown as a controller that is away.
  if (chosen && *chosen >= count)
    throw EUsageError(System::Utf8ToString("--controller: expected a controller number from 0 to " +
                                           std::to_string(count - 1) +
                                           " (the joystick service has " + std::to_string(count) +
                                           "), got " + std::to_string(*chosen)));
#if VORLANE_JOYMON_EVDEV
  for (const std::string& path : FOptions.Devices) {
    FRecordings.push_back(Evdev::AttachRecording(path));
    const int number = FRecordings.back().GetController();
    if (number < 0)
      throw Evdev::EEvdevError(System::Utf8ToString(
          path + ": every controller number is taken; the recording could not be attached"));
    if (!chosen) chosen = number;
  }
#else
  if (!FOptions.Devices.empty())
    throw EUsageError(
        u"--device: recordings are replayed by the evdev backend, which this build lacks");
#endif

  bool anyAttached = false;
  Integer firstAttached = 0;
  for (Integer n = count - 1; n >= 0; --n)
    if (j.GetAttached(n)) {
      anyAttached = true;
      firstAttached = n;
    }
  const bool wantDemo = FOptions.Demo || (autoDemo && !FOptions.NoDemo && !anyAttached &&
                                          FOptions.Devices.empty() && !FOptions.Controller);
  if (wantDemo) {
    // The demo controller lives in the project's service; on Windows the component
    // calls the system's (winmm) until told otherwise.
    JoystickBinding::UseVorlaneService();
    FDemo = std::make_unique<TDemoController>();
    FAutoDemo = !FOptions.Demo;
    if (!chosen) chosen = FDemo->GetNumber();
  }
  if (!chosen) chosen = anyAttached ? firstAttached : 0;

  j.SetController(*chosen);
  ApplySettings();
  FLog.Attach(j);
  if (FDemo) FDemo->Start();
  FStartTime = TClock::now();
}

void TMonitor::ApplySettings() {
  Joystick::TJoystick& j = *FJoystick;
  // Nothing is captured yet, so none of these asks the service anything but the
  // threshold.
  if (FOptions.Mode) j.SetEventMode(*FOptions.Mode);
  if (FOptions.Period) j.SetPollingPeriod(*FOptions.Period);
  j.SetRawData(FOptions.Raw);
  if (FOptions.Threshold) {
    FWantedThreshold = *FOptions.Threshold;
    ApplyThreshold();
  }
}

void TMonitor::ApplyThreshold() {
  if (!FWantedThreshold) return;
  try {
    if (FJoystick->GetThreshold() != *FWantedThreshold) FJoystick->SetThreshold(*FWantedThreshold);
  } catch (const EJoystickError& e) {
    FNotice =
        "Cannot set the threshold to " + std::to_string(*FWantedThreshold) + ": " + ErrorText(e);
  }
}

bool TMonitor::Tick() {
  Joystick::TJoystick& j = *FJoystick;
  const bool attached = j.GetAttached(j.GetController());
  const bool captured = j.GetJoystickForm() != nullptr;
  if (!attached) {
    // Whatever the service does with a capture while its controller is away, a
    // fresh one is made when it returns.
    if (captured) FStale = true;
    return false;
  }
  if (captured && !FStale) return true;
  if (captured) {
    try {
      j.SetActive(false);
    } catch (const EJoystickError&) {
      // The old capture is gone at the service already.
    }
  }
  try {
    j.SetActive(true);
    FStale = false;
    ApplyThreshold();
  } catch (const EJoystickError& e) {
    FNotice = "Cannot capture controller " + std::to_string(j.GetController()) + ": " +
              ErrorText(e) + "; trying again";
  }
  return true;
}

void TMonitor::SwitchController(int step) {
  Joystick::TJoystick& j = *FJoystick;
  const Integer current = j.GetController();
  std::vector<Integer> candidates;
  for (Integer n = 0; n < j.GetControllerCount(); ++n)
    if (n == current || j.GetAttached(n)) candidates.push_back(n);
  if (std::find(candidates.begin(), candidates.end(), current) == candidates.end())
    candidates.push_back(current);  // a number beyond the count, chosen with --controller
  std::sort(candidates.begin(), candidates.end());
  if (candidates.size() < 2) {
    FNotice = "No other controller is attached.";
    return;
  }
  const auto at = std::find(candidates.begin(), candidates.end(), current) - candidates.begin();
  const auto size = static_cast<std::ptrdiff_t>(candidates.size());
  const Integer next = candidates[static_cast<std::size_t>(((at + step) % size + size) % size)];
  FLog.Clear();
  FStale = false;
  try {
    j.SetController(next);
    FNotice = "Watching controller " + std::to_string(next) + ".";
  } catch (const EJoystickError& e) {
    // The new number is stored; Tick captures it once it can.
    FNotice = "Controller " + std::to_string(next) + ": " + ErrorText(e);
  }
  ApplyThreshold();
}

void TMonitor::ToggleEventMode() {
  Joystick::TJoystick& j = *FJoystick;
  const Joystick::TEventMode mode =
      j.GetEventMode() == Joystick::emPolling ? Joystick::emThreshold : Joystick::emPolling;
  try {
    j.SetEventMode(mode);
    FNotice = "EventMode is " + std::string(EnumName(mode)) + ".";
  } catch (const EJoystickError& e) {
    FNotice =
        "EventMode is " + std::string(EnumName(mode)) + ", but capturing failed: " + ErrorText(e);
  }
}

void TMonitor::ToggleRawData() {
  FJoystick->SetRawData(!FJoystick->GetRawData());
  FNotice = FJoystick->GetRawData() ? "RawData on: positions are uncalibrated device readings."
                                    : "RawData off: positions are calibrated to 0..65535.";
}

void TMonitor::ChangeThreshold(Integer delta) {
  Integer current = FWantedThreshold.value_or(0);
  try {
    current = FJoystick->GetThreshold();
  } catch (const EJoystickError& e) {
    FNotice = "Cannot read the threshold: " + ErrorText(e);
    return;
  }
  FWantedThreshold = std::clamp<Integer>(current + delta, 0, 65535);
  FNotice = "Threshold " + std::to_string(*FWantedThreshold) + ".";
  ApplyThreshold();
}

void TMonitor::ToggleDemoPlugged() {
  if (!FDemo) {
    FNotice = "u unplugs and replugs the demo controller; there is none (--demo).";
    return;
  }
  try {
    FDemo->TogglePlugged();
    FNotice = FDemo->GetPlugged() ? "Demo controller plugged in again."
                                  : "Demo controller unplugged: press u to plug it in again.";
  } catch (const System::Exception& e) {
    FNotice = "Cannot replug the demo controller: " + System::StringToUtf8(e.GetMessage());
  }
}

}  // namespace vorlane::JoyMon
