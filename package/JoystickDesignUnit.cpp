// The initialisation and finalisation routines of the design-time unit
// JoystickDesign. They do no work: the component and its editors reach the designer
// only through Register.
#include "Units.hpp"

namespace vorlane::JoystickDesign {

void Initialization() {
  --VorlaneJoy::Counters::JoystickDesign;
}

void Finalization() {
  ++VorlaneJoy::Counters::JoystickDesign;
}

}  // namespace vorlane::JoystickDesign
