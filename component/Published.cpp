// Type information of the unit's types and the published-property tables of
// TJoystick and TCapabilities, in declaration order.
#include "vorlane/Joystick.hpp"

namespace vorlane::Joystick {

using TypInfo::Default;
using TypInfo::NotStored;
using TypInfo::PTypeInfo;
using TypInfo::TTypeInfo;

PTypeInfo VorlaneTypeInfo(TJoyButton*) {
  static const char* const names[] = {
      "joButton1",  "joButton2",  "joButton3",  "joButton4",  "joButton5",  "joButton6",
      "joButton7",  "joButton8",  "joButton9",  "joButton10", "joButton11", "joButton12",
      "joButton13", "joButton14", "joButton15", "joButton16", "joButton17", "joButton18",
      "joButton19", "joButton20", "joButton21", "joButton22", "joButton23", "joButton24",
      "joButton25", "joButton26", "joButton27", "joButton28", "joButton29", "joButton30",
      "joButton31", "joButton32"};
  static const TTypeInfo info = TypInfo::EnumType("TJoyButton", names);
  return &info;
}

PTypeInfo VorlaneTypeInfo(TButtons*) {
  static const TTypeInfo info =
      TypInfo::SetType("TButtons", TypInfo::TypeInfo<TJoyButton>(), TypInfo::TOrdType::otULong);
  return &info;
}

PTypeInfo VorlaneTypeInfo(TEventMode*) {
  static const char* const names[] = {"emPolling", "emThreshold"};
  static const TTypeInfo info = TypInfo::EnumType("TEventMode", names);
  return &info;
}

PTypeInfo VorlaneTypeInfo(TPointOfViewDirection*) {
  static const char* const names[] = {"pdUnknown",  "pdCentered", "pdForward",
                                      "pdBackward", "pdLeft",     "pdRight"};
  static const TTypeInfo info = TypInfo::EnumType("TPointOfViewDirection", names);
  return &info;
}

PTypeInfo VorlaneTypeInfo(TCapabilityFlag*) {
  static const char* const names[] = {"cfHasZ",
                                      "cfHasR",
                                      "cfHasU",
                                      "cfHasV",
                                      "cfHasPointOfView",
                                      "cfDiscretePointOfView",
                                      "cfContinuousPointOfView"};
  static const TTypeInfo info = TypInfo::EnumType("TCapabilityFlag", names);
  return &info;
}

PTypeInfo VorlaneTypeInfo(TCapabilityFlags*) {
  static const TTypeInfo info = TypInfo::SetType(
      "TCapabilityFlags", TypInfo::TypeInfo<TCapabilityFlag>(), TypInfo::TOrdType::otUByte);
  return &info;
}

PTypeInfo VorlaneTypeInfo(TButtonDownEvent*) {
  static const TTypeInfo info = TypInfo::MethodType<TButtonDownEvent>("TButtonDownEvent");
  return &info;
}
PTypeInfo VorlaneTypeInfo(TButtonUpEvent*) {
  static const TTypeInfo info = TypInfo::MethodType<TButtonUpEvent>("TButtonUpEvent");
  return &info;
}
PTypeInfo VorlaneTypeInfo(TMoveEvent*) {
  static const TTypeInfo info = TypInfo::MethodType<TMoveEvent>("TMoveEvent");
  return &info;
}
PTypeInfo VorlaneTypeInfo(TMoveZEvent*) {
  static const TTypeInfo info = TypInfo::MethodType<TMoveZEvent>("TMoveZEvent");
  return &info;
}

const TypInfo::TClassInfo& TJoystick::StaticClass() {
  using T = TJoystick;
  using TypInfo::Property;
  static const TypInfo::TPropInfo properties[] = {
      Property<&T::GetAbout, &T::SetAbout>("About", NotStored),
      Property<&T::FActive, &T::SetActive>("Active", Default(false)),
      Property<&T::GetCapabilities, &T::SetCapabilities>("Capabilities", NotStored),
      Property<&T::GetCenteredR, &T::SetEmpty>("CenteredR", NotStored),
      Property<&T::GetCenteredU, &T::SetEmpty>("CenteredU", NotStored),
      Property<&T::GetCenteredV, &T::SetEmpty>("CenteredV", NotStored),
      Property<&T::GetCenteredX, &T::SetEmpty>("CenteredX", NotStored),
      Property<&T::GetCenteredY, &T::SetEmpty>("CenteredY", NotStored),
      Property<&T::GetCenteredZ, &T::SetEmpty>("CenteredZ", NotStored),
      Property<&T::FController, &T::SetController>("Controller", Default(0)),
      Property<&T::FEventMode, &T::SetEventMode>("EventMode", Default(emThreshold)),
      Property<&T::GetPositionR, &T::SetEmpty>("PositionR", NotStored),
      Property<&T::GetPositionU, &T::SetEmpty>("PositionU", NotStored),
      Property<&T::GetPositionV, &T::SetEmpty>("PositionV", NotStored),
      Property<&T::GetPositionX, &T::SetEmpty>("PositionX", NotStored),
      Property<&T::GetPositionY, &T::SetEmpty>("PositionY", NotStored),
      Property<&T::GetPositionZ, &T::SetEmpty>("PositionZ", NotStored),
      Property<&T::GetPointOfView, &T::SetEmpty>("PointOfView", NotStored),
      Property<&T::GetPointOfViewDirection, &T::SetPointOfViewDirection>("PointOfViewDirection",
                                                                         NotStored),
      Property<&T::FPollingPeriod, &T::SetPollingPeriod>("PollingPeriod", Default(0)),
      Property<&T::GetPressedButtons, &T::SetPressedButtons>("PressedButtons", NotStored),
      Property<&T::GetPressedButtonCount, &T::SetEmpty>("PressedButtonCount", NotStored),
      Property<&T::FRawData, &T::FRawData>("RawData", Default(false)),
      Property<&T::GetThreshold, &T::SetThreshold>("Threshold", Default(0)),
      Property<&T::FOnButtonDown, &T::SetOnButtonDown>("OnButtonDown", TypInfo::NoDefault),
      Property<&T::FOnButtonUp, &T::SetOnButtonUp>("OnButtonUp", TypInfo::NoDefault),
      Property<&T::FOnMove, &T::SetOnMove>("OnMove", TypInfo::NoDefault),
      Property<&T::FOnMoveZ, &T::SetOnMoveZ>("OnMoveZ", TypInfo::NoDefault),
  };
  static const TypInfo::TClassInfo info(
      "TJoystick", &Classes::TComponent::StaticClass(),
      {.Properties = properties, .Create = &Classes::CreateComponent<TJoystick>, .Platforms = 3});
  return info;
}

const TypInfo::TClassInfo& TCapabilities::StaticClass() {
  using T = TCapabilities;
  using TypInfo::Property;
  static const TypInfo::TPropInfo properties[] = {
      Property<&T::GetAxesCount, &T::SetEmpty>("AxesCount", NotStored),
      Property<&T::GetButtonCount, &T::SetEmpty>("ButtonCount", NotStored),
      Property<&T::GetDriver, &T::SetEmptyString>("Driver", NotStored),
      Property<&T::GetFlags, &T::SetFlags>("Flags", NotStored),
      Property<&T::GetManufacturer, &T::SetEmpty>("Manufacturer", NotStored),
      Property<&T::GetMaxAxes, &T::SetEmpty>("MaxAxes", NotStored),
      Property<&T::GetMaxButtons, &T::SetEmpty>("MaxButtons", NotStored),
      Property<&T::GetMaxPeriod, &T::SetEmpty>("MaxPeriod", NotStored),
      Property<&T::GetMaxR, &T::SetEmpty>("MaxR", NotStored),
      Property<&T::GetMaxU, &T::SetEmpty>("MaxU", NotStored),
      Property<&T::GetMaxV, &T::SetEmpty>("MaxV", NotStored),
      Property<&T::GetMaxX, &T::SetEmpty>("MaxX", NotStored),
      Property<&T::GetMaxY, &T::SetEmpty>("MaxY", NotStored),
      Property<&T::GetMaxZ, &T::SetEmpty>("MaxZ", NotStored),
      Property<&T::GetMinPeriod, &T::SetEmpty>("MinPeriod", NotStored),
      Property<&T::GetMinR, &T::SetEmpty>("MinR", NotStored),
      Property<&T::GetMinU, &T::SetEmpty>("MinU", NotStored),
      Property<&T::GetMinV, &T::SetEmpty>("MinV", NotStored),
      Property<&T::GetMinX, &T::SetEmpty>("MinX", NotStored),
      Property<&T::GetMinY, &T::SetEmpty>("MinY", NotStored),
      Property<&T::GetMinZ, &T::SetEmpty>("MinZ", NotStored),
      Property<&T::GetProduct, &T::SetEmpty>("Product", NotStored),
      Property<&T::GetProductName, &T::SetEmptyString>("ProductName", NotStored),
      Property<&T::GetRegistryKey, &T::SetEmptyString>("RegistryKey", NotStored),
  };
  static const TypInfo::TClassInfo info("TCapabilities", &Classes::TPersistent::StaticClass(),
                                        {.Properties = properties});
  return info;
}

}  // namespace vorlane::Joystick
