#include "HermeticService.hpp"

#include "Environment.hpp"
#include "joystick/Service.hpp"

namespace vorlane::testing {

void UseHermeticService() {
  SetEnvironment("VORLANE_JOYSTICK_BACKENDS", "virtual");
  UnsetEnvironment("VORLANE_JOYSTICK_DEVICES");
  JoystickService::ResetForTesting();
}

}  // namespace vorlane::testing
