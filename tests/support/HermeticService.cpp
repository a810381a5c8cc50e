#include "HermeticService.hpp"

#include <cstdlib>

#include "joystick/Service.hpp"

namespace vorlane::testing {

void UseHermeticService() {
  ::setenv("VORLANE_JOYSTICK_BACKENDS", "virtual", 1);
  ::unsetenv("VORLANE_JOYSTICK_DEVICES");
  JoystickService::ResetForTesting();
}

}  // namespace vorlane::testing
