// Which event nodes are controllers. The rules follow systemd's input_id builtin
// (udev-builtin-input_id.c) and SDL's SDL_EVDEV_GuessDeviceClass, so that a node is a
// controller here exactly when the desktop's other libraries treat it as one.
#include <string>

#include "joystick/evdev/DeviceMapping.hpp"

namespace vorlane::JoystickService::EvdevBackend {

namespace {

bool Key(const libevdev* device, unsigned code) {
  return libevdev_has_event_code(device, EV_KEY, code) != 0;
}

bool Abs(const libevdev* device, unsigned code) {
  return libevdev_has_event_code(device, EV_ABS, code) != 0;
}

int CountKeys(const libevdev* device, unsigned first, unsigned last) {
  int n = 0;
  for (unsigned code = first; code <= last; ++code) n += Key(device, code);
  return n;
}

// Joystick-range buttons: BTN_0..BTN_9, the joystick and gamepad ranges, the d-pad
// buttons and BTN_TRIGGER_HAPPY1..40. A mouse with so many buttons that they run from
// the mouse range into the joystick range (its 0x11f is set) has none.
int JoystickButtons(const libevdev* device) {
  const int misc = CountKeys(device, BTN_0, BTN_9);
  if (Key(device, BTN_JOYSTICK - 1)) return misc;
  return misc + CountKeys(device, BTN_JOYSTICK, BTN_DIGI - 1) +
         CountKeys(device, BTN_DPAD_UP, BTN_DPAD_RIGHT) +
         CountKeys(device, BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY40);
}

// Axes only controllers have: ABS_RX..ABS_RZ, ABS_THROTTLE, ABS_RUDDER, ABS_WHEEL,
// ABS_GAS and ABS_BRAKE.
bool HasJoystickAxis(const libevdev* device) {
  for (unsigned code = ABS_RX; code <= ABS_BRAKE; ++code)
    if (Abs(device, code)) return true;
  return false;
}

TNodeClass Refused(std::string reason) {
  return {false, std::move(reason)};
}

}  // namespace

TNodeClass ClassifyNode(const libevdev* device) {
  if (libevdev_has_property(device, INPUT_PROP_ACCELEROMETER))
    return Refused("a motion sensor (INPUT_PROP_ACCELEROMETER), not a controller");
  const bool keys = libevdev_has_event_type(device, EV_KEY) != 0;
  // Three linear or three rotational axes and no keys at all: a motion sensor that
  // does not say so (SDL's rule).
  if (!keys &&
      ((Abs(device, ABS_X) && Abs(device, ABS_Y) && Abs(device, ABS_Z)) ||
       (Abs(device, ABS_RX) && Abs(device, ABS_RY) && Abs(device, ABS_RZ))) &&
      !Abs(device, ABS_THROTTLE) && !Abs(device, ABS_RUDDER) && !Abs(device, ABS_WHEEL) &&
      !Abs(device, ABS_GAS) && !Abs(device, ABS_BRAKE))
    return Refused("a motion sensor (three axes and no buttons), not a controller");

  const int buttons = JoystickButtons(device);
  // Keyboard keys: KEY_ESC to KEY_MICMUTE, below the button ranges.
  const int keyboardKeys = CountKeys(device, KEY_ESC, BTN_MISC - 1);
  // systemd's rule: a node with a few keyboard keys and fewer than two joystick
  // buttons is a keyboard (or a keyboard's extra keys), whatever else it has.
  if (keyboardKeys >= 4 && buttons < 2)
    return Refused("mainly a keyboard (" + std::to_string(keyboardKeys) + " keyboard keys, " +
                   std::to_string(buttons) + " joystick button" + (buttons == 1 ? "" : "s") + ")");
  if (buttons > 0) return {true, {}};

  if (Abs(device, ABS_X) && Abs(device, ABS_Y)) {
    if (Key(device, BTN_STYLUS) || Key(device, BTN_TOOL_PEN))
      return Refused("a graphics tablet (BTN_TOOL_PEN), not a controller");
    if (Key(device, BTN_TOOL_FINGER))
      return Refused("a touchpad (BTN_TOOL_FINGER), not a controller");
    if (Key(device, BTN_MOUSE)) return Refused("a mouse (BTN_LEFT), not a controller");
    if (Key(device, BTN_TOUCH) || libevdev_has_property(device, INPUT_PROP_DIRECT))
      return Refused("a touchscreen (BTN_TOUCH), not a controller");
  }
  // Button-less controllers: pedals, rudders, throttles.
  if (HasJoystickAxis(device)) return {true, {}};
  if (libevdev_has_event_code(device, EV_REL, REL_X) && Key(device, BTN_MOUSE))
    return Refused("a mouse (REL_X with BTN_LEFT), not a controller");
  if (keyboardKeys > 0) return Refused("a keyboard, not a controller");
  return Refused(
      "neither joystick buttons (BTN_JOYSTICK.., BTN_GAMEPAD.., BTN_0.., "
      "BTN_TRIGGER_HAPPY..) nor joystick axes (ABS_RX..ABS_BRAKE)");
}

}  // namespace vorlane::JoystickService::EvdevBackend
