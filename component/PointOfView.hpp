// The mapping of the service's hat value to a TPointOfViewDirection.
#pragma once

#include <cstdint>

#include "vorlane/Joystick.hpp"

namespace vorlane::Joystick {

// Tested in this order; a centred hat is recognised by its low eight bits alone,
// so 0xFFFF, 0xFFFFFFFF and 511 all read as centred.
constexpr TPointOfViewDirection DirectionOfPov(std::uint32_t pov) {
  if (pov == 0) return pdForward;
  if (pov == 18000) return pdBackward;
  if (pov == 9000) return pdRight;
  if (pov == 27000) return pdLeft;
  if ((pov & 0xFFu) == 0xFFu) return pdCentered;
  return pdUnknown;
}

}  // namespace vorlane::Joystick
