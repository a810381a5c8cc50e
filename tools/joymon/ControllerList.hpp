// joymon --list: every controller number with its state (attached or the
// service's message, name, vendor:product, axes and buttons), then the event
// nodes that could not be opened, with the reason and the remedy.
#pragma once

#include <cstdio>

#include "vorlane/Joystick.hpp"

namespace vorlane::JoyMon {

// Whether the evdev backend is enabled by VORLANE_JOYSTICK_BACKENDS (unset or
// empty: every backend is).
bool EvdevBackendEnabled();

// Writes the list as text, or as one JSON object with `json`.
void PrintControllerList(Joystick::TJoystick& joystick, std::FILE* out, bool json);

}  // namespace vorlane::JoyMon
