#include "vorlane/Joystick.hpp"

namespace vorlane::Joystick {

namespace {

// The service's result codes and what they mean, as the component reports them.
const char16_t* KnownMessage(std::uint32_t code) {
  switch (code) {
    case 2:
      return u"The specified joystick identifier is invalid.";
    case 6:
      return u"The joystick driver is not present.";
    case 11:
      return u"An invalid parameter was passed.";
    case 165:
      return u"The specified joystick device identifier is invalid.";
    case 166:
      return u"Cannot capture joystick input because a required service (such as a Windows "
             u"timer) is unavailable.";
    case 167:
      return u"The specified joystick is not connected to the system.";
    default:
      return nullptr;
  }
}

}  // namespace

EJoystickError::EJoystickError(Integer errorCode, const String& msg)
    : Exception(msg), ErrorCode(errorCode) {}

const TypInfo::TClassInfo& EJoystickError::StaticClass() {
  static const TypInfo::TClassInfo info("EJoystickError", &System::Exception::StaticClass());
  return info;
}

void Check(std::uint32_t code) {
  if (code == 0) return;
  String message;
  if (const char16_t* known = KnownMessage(code)) {
    message = known;
  } else {
    message = u"Unknown error " + System::UIntToStr(code) + u".";
  }
  throw EJoystickError(static_cast<Integer>(code), message);
}

}  // namespace vorlane::Joystick
