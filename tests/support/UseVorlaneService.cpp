// Linked into every test program on Windows: the component calls the project's
// service (virtual controllers, fault injection, the call log), as on Linux, from
// before the first test on.
#include "vorlane/JoystickBinding.hpp"

namespace {

const bool Bound = [] {
  vorlane::JoystickBinding::UseVorlaneService();
  return true;
}();

}  // namespace
