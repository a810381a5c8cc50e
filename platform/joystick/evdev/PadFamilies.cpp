#include "joystick/evdev/PadFamilies.hpp"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace vorlane::JoystickService::EvdevBackend {

namespace {

constexpr int X = 0, Y = 1, Z = 2, R = 3, U = 4, V = 5;
constexpr std::uint16_t VendorMicrosoft = 0x045e;
constexpr std::uint16_t VendorSony = 0x054c;
constexpr std::uint16_t VendorNintendo = 0x057e;
constexpr std::uint16_t VendorHori = 0x0f0d;

bool HasKey(const libevdev* device, unsigned code) {
  return libevdev_has_event_code(device, EV_KEY, code) != 0;
}

bool HasKeys(const libevdev* device, std::initializer_list<unsigned> codes) {
  return std::all_of(codes.begin(), codes.end(), [&](unsigned c) { return HasKey(device, c); });
}

bool HasAxes(const libevdev* device, std::initializer_list<unsigned> codes) {
  return std::all_of(codes.begin(), codes.end(), [&](unsigned c) { return UsableAxis(device, c); });
}

// The ten buttons every Xbox pad driver reports (xpad's xpad_common_btn, and the
// Bluetooth pads' HID buttons 1, 2, 4, 5, 7, 8, 11, 12, 14, 15 through hid-input's
// gamepad range). xpad reports X as BTN_X (= BTN_NORTH) and Y as BTN_Y (= BTN_WEST).
constexpr unsigned XboxButtons[] = {BTN_SOUTH, BTN_EAST,   BTN_NORTH, BTN_WEST,   BTN_TL,
                                    BTN_TR,    BTN_SELECT, BTN_START, BTN_THUMBL, BTN_THUMBR};

// Xbox pads over Bluetooth under hid-generic or hid-microsoft: the right stick on Z/Rz,
// the triggers on the Simulation page's Brake and Accelerator.
bool IsXboxBluetoothHid(const libevdev* device) {
  return libevdev_get_id_vendor(device) == VendorMicrosoft &&
         libevdev_get_id_bustype(device) == BUS_BLUETOOTH &&
         HasAxes(device, {ABS_X, ABS_Y, ABS_Z, ABS_RZ, ABS_GAS, ABS_BRAKE});
}

bool IsXbox(const libevdev* device) {
  for (unsigned code : XboxButtons)
    if (!HasKey(device, code)) return false;
  if (IsXboxBluetoothHid(device)) return true;
  const int vendor = libevdev_get_id_vendor(device);
  if (vendor == VendorSony || vendor == VendorNintendo) return false;
  // xpad and xpadneo: sticks on X/Y and RX/RY. A generic HID gamepad, whose buttons
  // hid-input numbers from BTN_GAMEPAD on without gaps, has BTN_C and BTN_Z as well.
  return HasAxes(device, {ABS_X, ABS_Y, ABS_RX, ABS_RY}) && !HasKey(device, BTN_C) &&
         !HasKey(device, BTN_Z);
}

// DualShock 3, DualShock 4 and DualSense under hid-playstation or hid-sony (which
// since 4.10 remaps them the same way): sticks on X/Y and RX/RY, L2/R2 on Z/RZ.
bool IsSony(const libevdev* device) {
  return libevdev_get_id_vendor(device) == VendorSony &&
         HasAxes(device, {ABS_X, ABS_Y, ABS_RX, ABS_RY}) &&
         HasKeys(device, {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_TL2,
                          BTN_TR2, BTN_SELECT, BTN_START});
}

// The Pro Controller and its licensed copies, and two Joy-Cons combined (joycond),
// under hid-nintendo: both sticks, a digital ZL/ZR.
bool IsNintendo(const libevdev* device) {
  const int vendor = libevdev_get_id_vendor(device);
  return (vendor == VendorNintendo || vendor == VendorHori) &&
         HasAxes(device, {ABS_X, ABS_Y, ABS_RX, ABS_RY}) &&
         HasKeys(device, {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_TL2,
                          BTN_TR2, BTN_SELECT, BTN_START});
}

// The codes a pad driver gives buttons of its own: the joystick and gamepad ranges,
// the d-pad buttons and BTN_TRIGGER_HAPPY (paddles); not the media keys some add.
bool IsPadButtonCode(unsigned code) {
  return (code >= BTN_JOYSTICK && code < BTN_DIGI) ||
         (code >= BTN_DPAD_UP && code <= BTN_DPAD_RIGHT) ||
         (code >= BTN_TRIGGER_HAPPY1 && code <= BTN_TRIGGER_HAPPY40);
}

// One entry of a family's button table: the first of its codes the device has.
struct TButtonEntry {
  unsigned Codes[2];
};

// Fills the buttons: the table's first, then every other button of the device in
// code order (after the pad's own, where Windows puts what its HID descriptor adds),
// leaving out `skip`.
void TableButtons(const libevdev* device, std::initializer_list<TButtonEntry> table,
                  const std::vector<unsigned>& skip, TDeviceMapping& m) {
  std::vector<bool> used(KEY_CNT, false);
  for (unsigned code : skip) used[code] = true;
  for (const TButtonEntry& entry : table)
    for (unsigned code : entry.Codes) {
      if (code == 0 || !HasKey(device, code)) continue;
      m.ButtonCodes.push_back(static_cast<std::uint16_t>(code));
      used[code] = true;
      break;
    }
  for (unsigned code = BTN_MISC; code <= KEY_MAX; ++code)
    if (!used[code] && IsPadButtonCode(code) && HasKey(device, code)) {
      m.ButtonCodes.push_back(static_cast<std::uint16_t>(code));
      used[code] = true;
    }
}

void Feed(const libevdev* device, TDeviceMapping& m, int axis, unsigned plus, int minus = -1) {
  if (!UsableAxis(device, plus)) return;
  m.Feeds[axis].Plus = static_cast<std::int32_t>(plus);
  if (minus >= 0 && UsableAxis(device, static_cast<unsigned>(minus))) m.Feeds[axis].Minus = minus;
}

// Axes of the device the family's table does not use.
void LeaveOutOtherAxes(const libevdev* device, TDeviceMapping& m, const char* why) {
  for (unsigned code = 0; code < ABS_MT_SLOT; ++code) {
    if (code >= ABS_HAT0X && code < ABS_MISC) continue;  // hats, pens and the volume
    if (!UsableAxis(device, code)) continue;
    const bool used = std::any_of(m.Feeds.begin(), m.Feeds.end(), [&](const TAxisFeed& f) {
      return f.Plus == static_cast<std::int32_t>(code) ||
             f.Minus == static_cast<std::int32_t>(code);
    });
    if (!used) m.LeftOut.push_back({EV_ABS, static_cast<std::uint16_t>(code), why});
  }
}

// Windows' XUSB driver shows an Xbox pad to the joystick service as X/Y = left stick,
// Z = both triggers (left toward the maximum, right toward the minimum, centred when
// both or neither are pressed), Rx/Ry = right stick, which the axis selection puts on
// U and R; buttons A, B, X, Y, LB, RB, Back, Start, left stick, right stick.
void MapXbox(const libevdev* device, const TMappingOptions& options, TDeviceMapping& m) {
  const bool bluetooth = IsXboxBluetoothHid(device);
  const unsigned rightX = bluetooth ? ABS_Z : ABS_RX;
  const unsigned rightY = bluetooth ? ABS_RZ : ABS_RY;
  const unsigned leftTrigger = bluetooth ? ABS_BRAKE : ABS_Z;
  const unsigned rightTrigger = bluetooth ? ABS_GAS : ABS_RZ;
  m.RestsAtMinimum.set(leftTrigger).set(rightTrigger);
  Feed(device, m, X, ABS_X);
  Feed(device, m, Y, ABS_Y);
  Feed(device, m, R, rightY);
  Feed(device, m, U, rightX);
  if (options.SeparateTriggers) {
    Feed(device, m, Z, leftTrigger);
    Feed(device, m, V, rightTrigger);
  } else if (UsableAxis(device, leftTrigger)) {
    Feed(device, m, Z, leftTrigger, static_cast<int>(rightTrigger));
  } else {
    Feed(device, m, Z, rightTrigger);
  }
  // The guide button comes after the ten; the Bluetooth descriptor's unused button
  // slots (3, 6, 9, 10 = BTN_C, BTN_Z, BTN_TL2, BTN_TR2) are no buttons of the pad.
  std::vector<unsigned> skip;
  if (bluetooth) skip = {BTN_C, BTN_Z, BTN_TL2, BTN_TR2};
  TableButtons(device,
               {{{BTN_SOUTH, 0}},
                {{BTN_EAST, 0}},
                {{BTN_NORTH, 0}},
                {{BTN_WEST, 0}},
                {{BTN_TL, 0}},
                {{BTN_TR, 0}},
                {{BTN_SELECT, 0}},
                {{BTN_START, 0}},
                {{BTN_THUMBL, 0}},
                {{BTN_THUMBR, 0}},
                {{BTN_MODE, 0}}},
               skip, m);
  LeaveOutOtherAxes(device, m, "not part of the Xbox layout");
}

// Sony pads report in HID order X, Y, Z, Rz = left stick, right stick; Rx = L2,
// Ry = R2; buttons Square, Cross, Circle, Triangle, L1, R1, L2, R2, Share/Create,
// Options, L3, R3, PS, touchpad click. The axis selection then gives U = R2, V = L2.
void MapSony(const libevdev* device, TDeviceMapping& m) {
  m.RestsAtMinimum.set(ABS_Z).set(ABS_RZ);
  Feed(device, m, X, ABS_X);
  Feed(device, m, Y, ABS_Y);
  Feed(device, m, Z, ABS_RX);
  Feed(device, m, R, ABS_RY);
  Feed(device, m, U, ABS_RZ);
  Feed(device, m, V, ABS_Z);
  TableButtons(device,
               {{{BTN_WEST, 0}},
                {{BTN_SOUTH, 0}},
                {{BTN_EAST, 0}},
                {{BTN_NORTH, 0}},
                {{BTN_TL, 0}},
                {{BTN_TR, 0}},
                {{BTN_TL2, 0}},
                {{BTN_TR2, 0}},
                {{BTN_SELECT, 0}},
                {{BTN_START, 0}},
                {{BTN_THUMBL, 0}},
                {{BTN_THUMBR, 0}},
                {{BTN_MODE, 0}},
                {{BTN_LEFT, 0}}},
               {}, m);
  LeaveOutOtherAxes(device, m, "not part of the Sony layout");
}

// The Pro Controller's HID report: X/Y left stick, Z/Rz right stick; buttons B, A,
// Y, X, L, R, ZL, ZR, Minus, Plus, left stick, right stick, Home, Capture. Older
// hid-nintendo reported Home and Capture as BTN_0 and BTN_1.
void MapNintendo(const libevdev* device, TDeviceMapping& m) {
  Feed(device, m, X, ABS_X);
  Feed(device, m, Y, ABS_Y);
  Feed(device, m, Z, ABS_RX);
  Feed(device, m, R, ABS_RY);
  TableButtons(device,
               {{{BTN_SOUTH, 0}},
                {{BTN_EAST, 0}},
                {{BTN_WEST, 0}},
                {{BTN_NORTH, 0}},
                {{BTN_TL, 0}},
                {{BTN_TR, 0}},
                {{BTN_TL2, 0}},
                {{BTN_TR2, 0}},
                {{BTN_SELECT, 0}},
                {{BTN_START, 0}},
                {{BTN_THUMBL, 0}},
                {{BTN_THUMBR, 0}},
                {{BTN_MODE, BTN_0}},
                {{BTN_Z, BTN_1}}},
               {}, m);
  LeaveOutOtherAxes(device, m, "not part of the Nintendo layout");
}

}  // namespace

TFamily FamilyOf(const libevdev* device) {
  if (IsSony(device)) return TFamily::Sony;
  if (IsNintendo(device)) return TFamily::Nintendo;
  if (IsXbox(device)) return TFamily::Xbox;
  return TFamily::Generic;
}

bool MapPadFamily(const libevdev* device, const TMappingOptions& options, TDeviceMapping& m) {
  m.Family = FamilyOf(device);
  switch (m.Family) {
    case TFamily::Xbox:
      MapXbox(device, options, m);
      return true;
    case TFamily::Sony:
      MapSony(device, m);
      return true;
    case TFamily::Nintendo:
      MapNintendo(device, m);
      return true;
    case TFamily::Generic:
      break;
  }
  return false;
}

}  // namespace vorlane::JoystickService::EvdevBackend
