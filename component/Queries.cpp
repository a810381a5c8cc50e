// TJoystick: the live queries. Each read is one fresh service call; nothing is cached.
#include "vorlane/Joystick.hpp"

#include "PointOfView.hpp"
#include "Service.hpp"

namespace vorlane::Joystick {

namespace {

JOYINFOEX QueryPosition(Integer controller, DWORD flags) {
  JOYINFOEX info{};
  info.dwSize = sizeof(JOYINFOEX);
  info.dwFlags = flags;
  Check(Service::Functions().GetPosEx(static_cast<UINT>(controller), &info));
  return info;
}

// The service's unsigned fields come back as Integer with the same 32 bits.
Integer SameBits(DWORD value) {
  return static_cast<Integer>(value);
}

}  // namespace

static_assert(DirectionOfPov(JOY_POVFORWARD) == pdForward &&
              DirectionOfPov(JOY_POVRIGHT) == pdRight &&
              DirectionOfPov(JOY_POVBACKWARD) == pdBackward &&
              DirectionOfPov(JOY_POVLEFT) == pdLeft &&
              DirectionOfPov(JOY_POVCENTERED) == pdCentered);

std::uint32_t TJoystick::GetRawDataFlag() const {
  return FRawData ? JOY_RETURNRAWDATA : 0;
}

Integer TJoystick::GetPositionX() {
  return SameBits(QueryPosition(FController, JOY_RETURNX | GetRawDataFlag()).dwXpos);
}
Integer TJoystick::GetPositionY() {
  return SameBits(QueryPosition(FController, JOY_RETURNY | GetRawDataFlag()).dwYpos);
}
Integer TJoystick::GetPositionZ() {
  return SameBits(QueryPosition(FController, JOY_RETURNZ | GetRawDataFlag()).dwZpos);
}
Integer TJoystick::GetPositionR() {
  return SameBits(QueryPosition(FController, JOY_RETURNR | GetRawDataFlag()).dwRpos);
}
Integer TJoystick::GetPositionU() {
  return SameBits(QueryPosition(FController, JOY_RETURNU | GetRawDataFlag()).dwUpos);
}
Integer TJoystick::GetPositionV() {
  return SameBits(QueryPosition(FController, JOY_RETURNV | GetRawDataFlag()).dwVpos);
}

Integer TJoystick::GetCenteredX() {
  return SameBits(
      QueryPosition(FController, JOY_RETURNCENTERED | JOY_RETURNX | GetRawDataFlag()).dwXpos);
}
Integer TJoystick::GetCenteredY() {
  return SameBits(
      QueryPosition(FController, JOY_RETURNCENTERED | JOY_RETURNY | GetRawDataFlag()).dwYpos);
}
Integer TJoystick::GetCenteredZ() {
  return SameBits(
      QueryPosition(FController, JOY_RETURNCENTERED | JOY_RETURNZ | GetRawDataFlag()).dwZpos);
}
Integer TJoystick::GetCenteredR() {
  return SameBits(
      QueryPosition(FController, JOY_RETURNCENTERED | JOY_RETURNR | GetRawDataFlag()).dwRpos);
}
Integer TJoystick::GetCenteredU() {
  return SameBits(
      QueryPosition(FController, JOY_RETURNCENTERED | JOY_RETURNU | GetRawDataFlag()).dwUpos);
}
Integer TJoystick::GetCenteredV() {
  return SameBits(
      QueryPosition(FController, JOY_RETURNCENTERED | JOY_RETURNV | GetRawDataFlag()).dwVpos);
}

Integer TJoystick::GetPointOfView() {
  return SameBits(QueryPosition(FController, JOY_RETURNPOVCTS | GetRawDataFlag()).dwPOV);
}

TPointOfViewDirection TJoystick::GetPointOfViewDirection() {
  return DirectionOfPov(QueryPosition(FController, JOY_RETURNPOV | GetRawDataFlag()).dwPOV);
}

TButtons TJoystick::GetPressedButtons() {
  return TButtons::FromBits(
      QueryPosition(FController, JOY_RETURNBUTTONS | GetRawDataFlag()).dwButtons);
}

Integer TJoystick::GetPressedButtonCount() {
  return SameBits(QueryPosition(FController, JOY_RETURNBUTTONS | GetRawDataFlag()).dwButtonNumber);
}

// The ignoring setters, defined here so that the package exports them.
void TJoystick::SetEmpty(Integer) {}
void TJoystick::SetPointOfViewDirection(TPointOfViewDirection) {}
void TJoystick::SetPressedButtons(TButtons) {}

Integer TJoystick::GetControllerCount() const {
  return static_cast<Integer>(Service::Functions().GetNumDevs());
}

String TJoystick::GetControllerName(Integer index) const {
  JOYCAPSW caps{};
  Check(Service::Functions().GetDevCapsW(static_cast<UINT>(index), &caps, sizeof(JOYCAPSW)));
  return Service::Text(caps.szPname);
}

bool TJoystick::GetAttached(Integer index) const {
  JOYINFO info{};
  return Service::Functions().GetPos(static_cast<UINT>(index), &info) == JOYERR_NOERROR;
}

}  // namespace vorlane::Joystick
