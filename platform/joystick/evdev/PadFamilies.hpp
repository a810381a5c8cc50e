// Pads whose kernel drivers report their controls in an order of their own (xpad,
// hid-playstation, hid-sony, hid-nintendo, and Xbox pads over Bluetooth under
// hid-generic, hid-microsoft or xpadneo). For each family a small table rebuilds the
// layout Windows' joystick service shows for the same pad, so that slots and button
// numbers do not change with the driver. docs/evdev-mapping.md lists the tables and
// the driver sources they come from.
#pragma once

#include "joystick/evdev/DeviceMapping.hpp"

namespace vorlane::JoystickService::EvdevBackend {

// The family whose signature (vendor, product, the codes present) `device` carries.
TFamily FamilyOf(const libevdev* device);

// Fills m.Family, m.Feeds, m.ButtonCodes and m.LeftOut from the family's table when
// `device` belongs to one; false (and `m` untouched) for a generic device.
bool MapPadFamily(const libevdev* device, const TMappingOptions& options, TDeviceMapping& m);

}  // namespace vorlane::JoystickService::EvdevBackend
