// The hook between the service core and the backends that are not always there:
// the evdev backend and the replay of recorded devices. This is the only file
// that names them; it picks them up as soon as their header exists.
#include <memory>
#include <string>
#include <vector>

#include "joystick/Service.hpp"

#if __has_include("joystick/evdev/EvdevDriver.hpp")
#include "joystick/evdev/EvdevDriver.hpp"
#define VORLANE_JOYSTICK_HAVE_EVDEV 1
#endif

namespace vorlane::JoystickService {

std::unique_ptr<TJoystickDriver> MakeEvdevDriver() {
#ifdef VORLANE_JOYSTICK_HAVE_EVDEV
  return CreateEvdevDriver();
#else
  return nullptr;
#endif
}

std::unique_ptr<TJoystickDriver> MakeReplayDriver(const std::vector<std::string>& recordingPaths) {
#ifdef VORLANE_JOYSTICK_HAVE_EVDEV
  return CreateReplayDriver(recordingPaths);
#else
  (void)recordingPaths;
  return nullptr;
#endif
}

}  // namespace vorlane::JoystickService
