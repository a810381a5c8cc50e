// Form reading finds TJoystick by name as soon as the runtime library is loaded.
// This file is part of libvorlane-joystick only: the design package leaves it out,
// so that loading the package registers nothing and its Register (through
// DesignIntf::RegisterComponents) makes TJoystick known instead.
#include "vorlane/Joystick.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::Joystick {
namespace {

const TypInfo::TClassRegistration<TJoystick> joystickRegistration;

}  // namespace
}  // namespace vorlane::Joystick
