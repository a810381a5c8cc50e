// TCapabilities: every read asks the service for the owner's current controller.
#include "vorlane/Joystick.hpp"

#include "Service.hpp"

namespace vorlane::Joystick {

namespace {

JOYCAPSW ReadCapabilities(Integer controller) {
  JOYCAPSW caps{};
  Check(Service::Functions().GetDevCapsW(static_cast<UINT>(controller), &caps, sizeof(JOYCAPSW)));
  return caps;
}

Integer SameBits(UINT value) {
  return static_cast<Integer>(value);
}

// wCaps bits 0x1 to 0x40, element n for bit n; higher bits are not flags.
TCapabilityFlags FlagsOf(UINT caps) {
  return TCapabilityFlags::FromBits(static_cast<std::uint8_t>(caps & 0x7Fu));
}

}  // namespace

TCapabilities::TCapabilities(TJoystick* joystick) : FJoystick(joystick) {}

Integer TCapabilities::GetAxesCount() {
  return SameBits(ReadCapabilities(FJoystick->FController).wNumAxes);
}
Integer TCapabilities::GetButtonCount() {
  return SameBits(ReadCapabilities(FJoystick->FController).wNumButtons);
}
String TCapabilities::GetDriver() {
  const JOYCAPSW caps = ReadCapabilities(FJoystick->FController);
  return Service::Text(caps.szOEMVxD);
}
TCapabilityFlags TCapabilities::GetFlags() {
  return FlagsOf(ReadCapabilities(FJoystick->FController).wCaps);
}
Integer TCapabilities::GetManufacturer() {
  return Integer{ReadCapabilities(FJoystick->FController).wMid};
}
Integer TCapabilities::GetMaxAxes() {
  return SameBits(ReadCapabilities(FJoystick->FController).wMaxAxes);
}
Integer TCapabilities::GetMaxButtons() {
  return SameBits(ReadCapabilities(FJoystick->FController).wMaxButtons);
}
Integer TCapabilities::GetMaxPeriod() {
  return SameBits(ReadCapabilities(FJoystick->FController).wPeriodMax);
}
Integer TCapabilities::GetMaxR() {
  return SameBits(ReadCapabilities(FJoystick->FController).wRmax);
}
Integer TCapabilities::GetMaxU() {
  return SameBits(ReadCapabilities(FJoystick->FController).wUmax);
}
Integer TCapabilities::GetMaxV() {
  return SameBits(ReadCapabilities(FJoystick->FController).wVmax);
}
Integer TCapabilities::GetMaxX() {
  return SameBits(ReadCapabilities(FJoystick->FController).wXmax);
}
Integer TCapabilities::GetMaxY() {
  return SameBits(ReadCapabilities(FJoystick->FController).wYmax);
}
Integer TCapabilities::GetMaxZ() {
  return SameBits(ReadCapabilities(FJoystick->FController).wZmax);
}
Integer TCapabilities::GetMinPeriod() {
  return SameBits(ReadCapabilities(FJoystick->FController).wPeriodMin);
}
Integer TCapabilities::GetMinR() {
  return SameBits(ReadCapabilities(FJoystick->FController).wRmin);
}
Integer TCapabilities::GetMinU() {
  return SameBits(ReadCapabilities(FJoystick->FController).wUmin);
}
Integer TCapabilities::GetMinV() {
  return SameBits(ReadCapabilities(FJoystick->FController).wVmin);
}
Integer TCapabilities::GetMinX() {
  return SameBits(ReadCapabilities(FJoystick->FController).wXmin);
}
Integer TCapabilities::GetMinY() {
  return SameBits(ReadCapabilities(FJoystick->FController).wYmin);
}
Integer TCapabilities::GetMinZ() {
  return SameBits(ReadCapabilities(FJoystick->FController).wZmin);
}
Integer TCapabilities::GetProduct() {
  return Integer{ReadCapabilities(FJoystick->FController).wPid};
}
String TCapabilities::GetProductName() {
  const JOYCAPSW caps = ReadCapabilities(FJoystick->FController);
  return Service::Text(caps.szPname);
}
String TCapabilities::GetRegistryKey() {
  const JOYCAPSW caps = ReadCapabilities(FJoystick->FController);
  return Service::Text(caps.szRegKey);
}

// The ignoring setters, defined here so that the package exports them.
void TCapabilities::SetEmpty(Integer) {}
void TCapabilities::SetEmptyString(const String&) {}
void TCapabilities::SetFlags(TCapabilityFlags) {}

}  // namespace vorlane::Joystick
