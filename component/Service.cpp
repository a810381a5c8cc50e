// The binding of the component to a joystick service (vorlane/JoystickBinding.hpp).
#include "Service.hpp"

namespace vorlane::JoystickBinding {

#ifdef _WIN32

const TServiceFunctions& SystemService() {
  // winmm.dll's functions (the component links winmm ahead of the project's
  // service, whose DLL exports the same names).
  static const TServiceFunctions functions = Joystick::Service::NamedFunctions();
  return functions;
}

void UseVorlaneService() {
  Joystick::Service::Bound.store(&VorlaneService(), std::memory_order_release);
}

void UseSystemService() {
  Joystick::Service::Bound.store(&SystemService(), std::memory_order_release);
}

const TServiceFunctions& BoundService() {
  return Joystick::Service::Functions();
}

#else

// The component's own table of the project's functions: the same functions as
// VorlaneService's.
const TServiceFunctions& SystemService() {
  return Joystick::Service::Direct;
}

void UseVorlaneService() {}
void UseSystemService() {}

const TServiceFunctions& BoundService() {
  return Joystick::Service::Direct;
}

#endif

}  // namespace vorlane::JoystickBinding

#ifdef _WIN32
namespace vorlane::Joystick::Service {
constinit std::atomic<const TServiceFunctions*> Bound{nullptr};
}
#endif
