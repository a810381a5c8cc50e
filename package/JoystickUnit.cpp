// The initialisation and finalisation routines of the runtime unit Joystick, as the
// package exports them. They do no work: loading the package registers nothing.
#include "Units.hpp"

namespace vorlane::Joystick {

void Initialization() {
  --VorlaneJoy::Counters::Joystick;
}

void Finalization() {
  ++VorlaneJoy::Counters::Joystick;
}

}  // namespace vorlane::Joystick
