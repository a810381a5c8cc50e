// The hook between the service core and the backends that are not always there:
// the evdev backend and the replay of recorded devices. This is the only file
// that names them; the build says whether they are there (VORLANE_WITH_EVDEV).
#include <memory>
#include <string>
#include <vector>

#include "joystick/Service.hpp"

#ifdef VORLANE_WITH_EVDEV
#include "joystick/evdev/EvdevDriver.hpp"
#endif

namespace vorlane::JoystickService {

std::unique_ptr<TJoystickDriver> MakeEvdevDriver() {
#ifdef VORLANE_WITH_EVDEV
  return CreateEvdevDriver();
#else
  return nullptr;
#endif
}

std::unique_ptr<TJoystickDriver> MakeReplayDriver(const std::vector<std::string>& recordingPaths) {
#ifdef VORLANE_WITH_EVDEV
  return CreateReplayDriver(recordingPaths);
#else
  (void)recordingPaths;
  return nullptr;
#endif
}

}  // namespace vorlane::JoystickService
