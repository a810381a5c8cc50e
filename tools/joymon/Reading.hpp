// One reading of everything the views show about a TJoystick, taken through its
// typed getters. Each value is read on its own; a read that raises EJoystickError
// keeps the error's code and message in place of the value.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "vorlane/Joystick.hpp"

namespace vorlane::JoyMon {

template <class T>
struct TRead {
  std::optional<T> Value;
  System::Integer ErrorCode = 0;
  std::string Error;  // UTF-8; empty when the read succeeded

  bool Ok() const { return Value.has_value(); }
};

// Calls `getter` and keeps its value, or the EJoystickError it raised.
template <class T, class F>
TRead<T> ReadValue(F&& getter) {
  TRead<T> r;
  try {
    r.Value = getter();
  } catch (const Joystick::EJoystickError& e) {
    r.ErrorCode = e.ErrorCode;
    r.Error = System::StringToUtf8(e.GetMessage());
  }
  return r;
}

inline constexpr int AxisCount = 6;
inline constexpr char AxisNames[AxisCount] = {'X', 'Y', 'Z', 'R', 'U', 'V'};

struct TAxisReading {
  char Name = 'X';
  TRead<System::Integer> Position;    // as the component reads it (RawData as set)
  TRead<System::Integer> Centered;    // likewise
  TRead<System::Integer> Calibrated;  // PositionX..V with RawData off: 0..65535
  TRead<System::Integer> Raw;         // PositionX..V with RawData on
};

struct TCapabilitiesReading {
  TRead<System::String> ProductName;
  TRead<System::Integer> Manufacturer, Product, AxesCount, MaxAxes, ButtonCount, MaxButtons;
  TRead<System::Integer> MinPeriod, MaxPeriod;
  TRead<Joystick::TCapabilityFlags> Flags;
  TRead<System::String> Driver, RegistryKey;
};

struct TControllerReading {
  // Settings, read from the component (never fail).
  System::Integer Controller = 0;
  System::Integer ControllerCount = 0;
  bool Active = false;
  bool Capturing = false;
  bool RawData = false;
  Joystick::TEventMode EventMode = Joystick::emThreshold;
  System::Integer PollingPeriod = 0;

  bool Attached = false;
  TCapabilitiesReading Capabilities;
  TAxisReading Axes[AxisCount];
  TRead<System::Integer> PointOfView;
  TRead<Joystick::TPointOfViewDirection> PointOfViewDirection;
  TRead<Joystick::TButtons> PressedButtons;
  TRead<System::Integer> PressedButtonCount;
  TRead<System::Integer> Threshold;
  // What the records cannot hold of the controller, by kernel code name, one line
  // per reason (event nodes and replayed recordings; none for virtual controllers).
  std::vector<std::string> LeftOut;

  // The first error among the live values (the controller's state in one line),
  // or empty when every read succeeded.
  std::string FirstError() const;
  // Which axes to show: the ones its capabilities flag, X and Y always.
  bool AxisPresent(int axis) const;
};

// Reads everything. RawData is switched for the Calibrated and Raw readings and
// put back as it was.
TControllerReading ReadController(Joystick::TJoystick& joystick);

}  // namespace vorlane::JoyMon
