#include "Reading.hpp"

#include "vorlane/Evdev.hpp"

namespace vorlane::JoyMon {

using Joystick::TJoystick;
using System::Integer;

namespace {

// Sets RawData for the lifetime of the guard and restores it afterwards.
class TRawDataScope {
 public:
  TRawDataScope(TJoystick& joystick, bool raw) : FJoystick(joystick), FOld(joystick.GetRawData()) {
    FJoystick.SetRawData(raw);
  }
  ~TRawDataScope() { FJoystick.SetRawData(FOld); }
  TRawDataScope(const TRawDataScope&) = delete;
  TRawDataScope& operator=(const TRawDataScope&) = delete;

 private:
  TJoystick& FJoystick;
  bool FOld;
};

using TAxisGetter = Integer (TJoystick::*)();
constexpr TAxisGetter PositionGetters[AxisCount] = {
    &TJoystick::GetPositionX, &TJoystick::GetPositionY, &TJoystick::GetPositionZ,
    &TJoystick::GetPositionR, &TJoystick::GetPositionU, &TJoystick::GetPositionV};
constexpr TAxisGetter CenteredGetters[AxisCount] = {
    &TJoystick::GetCenteredX, &TJoystick::GetCenteredY, &TJoystick::GetCenteredZ,
    &TJoystick::GetCenteredR, &TJoystick::GetCenteredU, &TJoystick::GetCenteredV};

TCapabilitiesReading ReadCapabilities(Joystick::TCapabilities& c) {
  TCapabilitiesReading r;
  r.ProductName = ReadValue<System::String>([&] { return c.GetProductName(); });
  r.Manufacturer = ReadValue<Integer>([&] { return c.GetManufacturer(); });
  r.Product = ReadValue<Integer>([&] { return c.GetProduct(); });
  r.AxesCount = ReadValue<Integer>([&] { return c.GetAxesCount(); });
  r.MaxAxes = ReadValue<Integer>([&] { return c.GetMaxAxes(); });
  r.ButtonCount = ReadValue<Integer>([&] { return c.GetButtonCount(); });
  r.MaxButtons = ReadValue<Integer>([&] { return c.GetMaxButtons(); });
  r.MinPeriod = ReadValue<Integer>([&] { return c.GetMinPeriod(); });
  r.MaxPeriod = ReadValue<Integer>([&] { return c.GetMaxPeriod(); });
  r.Flags = ReadValue<Joystick::TCapabilityFlags>([&] { return c.GetFlags(); });
  r.Driver = ReadValue<System::String>([&] { return c.GetDriver(); });
  r.RegistryKey = ReadValue<System::String>([&] { return c.GetRegistryKey(); });
  return r;
}

}  // namespace

std::string TControllerReading::FirstError() const {
  if (!PressedButtons.Ok()) return PressedButtons.Error;
  for (const TAxisReading& a : Axes)
    if (!a.Position.Ok()) return a.Position.Error;
  if (!PointOfView.Ok()) return PointOfView.Error;
  if (!Capabilities.Flags.Ok()) return Capabilities.Flags.Error;
  return {};
}

bool TControllerReading::AxisPresent(int axis) const {
  if (axis < 2) return true;  // X and Y: every controller has them
  if (!Capabilities.Flags.Ok()) return false;
  // Z, R, U and V in axis order, each with its flag.
  static constexpr Joystick::TCapabilityFlag Flags[] = {Joystick::cfHasZ, Joystick::cfHasR,
                                                        Joystick::cfHasU, Joystick::cfHasV};
  return axis < AxisCount && Capabilities.Flags.Value->Contains(Flags[axis - 2]);
}

TControllerReading ReadController(TJoystick& joystick) {
  TControllerReading r;
  r.Controller = joystick.GetController();
  r.ControllerCount = joystick.GetControllerCount();
  r.Active = joystick.GetActive();
  r.Capturing = joystick.GetJoystickForm() != nullptr;
  r.RawData = joystick.GetRawData();
  r.EventMode = joystick.GetEventMode();
  r.PollingPeriod = joystick.GetPollingPeriod();
  r.Attached = joystick.GetAttached(r.Controller);
  r.Capabilities = ReadCapabilities(*joystick.GetCapabilities());
#if VORLANE_JOYMON_EVDEV
  r.LeftOut = Evdev::GetLeftOut(r.Controller);
#endif

  for (int a = 0; a < AxisCount; ++a) {
    TAxisReading& axis = r.Axes[a];
    axis.Name = AxisNames[a];
    axis.Position = ReadValue<Integer>([&] { return (joystick.*PositionGetters[a])(); });
    axis.Centered = ReadValue<Integer>([&] { return (joystick.*CenteredGetters[a])(); });
    {
      TRawDataScope raw(joystick, false);
      axis.Calibrated = ReadValue<Integer>([&] { return (joystick.*PositionGetters[a])(); });
    }
    {
      TRawDataScope raw(joystick, true);
      axis.Raw = ReadValue<Integer>([&] { return (joystick.*PositionGetters[a])(); });
    }
  }
  r.PointOfView = ReadValue<Integer>([&] { return joystick.GetPointOfView(); });
  r.PointOfViewDirection = ReadValue<Joystick::TPointOfViewDirection>(
      [&] { return joystick.GetPointOfViewDirection(); });
  r.PressedButtons = ReadValue<Joystick::TButtons>([&] { return joystick.GetPressedButtons(); });
  r.PressedButtonCount = ReadValue<Integer>([&] { return joystick.GetPressedButtonCount(); });
  r.Threshold = ReadValue<Integer>([&] { return joystick.GetThreshold(); });
  return r;
}

}  // namespace vorlane::JoyMon
