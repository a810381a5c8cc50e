#include "joystick/evdev/DeviceMapping.hpp"

#include <algorithm>
#include <cstdio>

#include "vorlane/System.hpp"

namespace vorlane::JoystickService::EvdevBackend {

namespace {

// The kernel codes that may feed each axis, in order of preference; 0 ends a row
// early (ABS_X is never an alternative).
constexpr unsigned AxisSources[AxisCount][3] = {
    {ABS_X, ABS_WHEEL, 0},             // X
    {ABS_Y, ABS_GAS, 0},               // Y
    {ABS_Z, ABS_THROTTLE, ABS_BRAKE},  // Z
    {ABS_RZ, ABS_RUDDER, 0},           // R
    {ABS_RX, 0, 0},                    // U
    {ABS_RY, 0, 0},                    // V
};

bool UsableAxis(const libevdev* device, unsigned code) {
  if (!libevdev_has_event_code(device, EV_ABS, code)) return false;
  const input_absinfo* info = libevdev_get_abs_info(device, code);
  return info != nullptr && info->maximum > info->minimum;
}

std::int32_t Clamp(std::int32_t value, const TAxisRange& range) {
  return std::clamp(value, range.Min, range.Max);
}

// -1, 0 or 1: where a hat axis stands relative to its rest; 0 for a missing axis.
int HatDirection(bool present, std::int32_t value, std::int32_t rest) {
  if (!present) return 0;
  return (value > rest) - (value < rest);
}

bool SameState(const TDeviceState& a, const TDeviceState& b) {
  return std::equal(std::begin(a.Axes), std::end(a.Axes), std::begin(b.Axes)) &&
         a.Buttons == b.Buttons && a.ButtonsHeld == b.ButtonsHeld && a.Pov == b.Pov;
}

std::string Text(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace

bool IsJoystick(const libevdev* device) {
  if (libevdev_has_property(device, INPUT_PROP_ACCELEROMETER)) return false;
  if (!libevdev_has_event_type(device, EV_KEY)) return false;
  for (unsigned code = BTN_JOYSTICK; code < BTN_DIGI; ++code)
    if (libevdev_has_event_code(device, EV_KEY, code)) return true;
  return false;
}

std::int32_t RestOf(std::int32_t min, std::int32_t max) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(min) + max) / 2);
}

std::uint32_t PovOf(int dx, int dy) {
  if (dx == 0 && dy == 0) return PovCentered;
  if (dx == 0) return dy < 0 ? 0 : 18000;
  if (dy == 0) return dx > 0 ? 9000 : 27000;
  if (dy < 0) return dx > 0 ? 4500 : 31500;
  return dx > 0 ? 13500 : 22500;
}

std::string IdentityOf(const libevdev* device) {
  const std::string uniq = Text(libevdev_get_uniq(device));
  if (!uniq.empty()) return "uniq:" + uniq;
  const std::string phys = Text(libevdev_get_phys(device));
  if (!phys.empty()) return "phys:" + phys;
  char ids[32];
  std::snprintf(ids, sizeof ids,
                "id:%04x:%04x:", static_cast<unsigned>(libevdev_get_id_vendor(device)) & 0xffffu,
                static_cast<unsigned>(libevdev_get_id_product(device)) & 0xffffu);
  return ids + Text(libevdev_get_name(device));
}

TDeviceMapping MapDevice(const libevdev* device) {
  TDeviceMapping m;
  m.AxisOfCode.fill(-1);
  m.CodeOfAxis.fill(-1);
  m.ButtonOfCode.fill(-1);

  m.Info.Name = FitUnits(Text(libevdev_get_name(device)), NameUnits);
  m.Info.Vendor = static_cast<std::uint16_t>(libevdev_get_id_vendor(device));
  m.Info.Product = static_cast<std::uint16_t>(libevdev_get_id_product(device));
  m.Info.Identity = IdentityOf(device);

  for (int axis = 0; axis < AxisCount; ++axis) {
    for (int i = 0; i < 3; ++i) {
      const unsigned code = AxisSources[axis][i];
      if (i > 0 && code == 0) break;
      if (!UsableAxis(device, code)) continue;
      const input_absinfo* info = libevdev_get_abs_info(device, code);
      TAxisRange& range = m.Info.Axes[axis];
      range.Present = true;
      range.Min = info->minimum;
      range.Max = info->maximum;
      range.Rest = RestOf(info->minimum, info->maximum);
      m.AxisOfCode[code] = static_cast<std::int8_t>(axis);
      m.CodeOfAxis[axis] = static_cast<std::int32_t>(code);
      break;
    }
  }

  auto addButton = [&](unsigned code) {
    if (!libevdev_has_event_code(device, EV_KEY, code)) return;
    m.ButtonOfCode[code] = static_cast<std::int16_t>(m.ButtonCodes.size());
    m.ButtonCodes.push_back(static_cast<std::uint16_t>(code));
  };
  for (unsigned code = BTN_JOYSTICK; code <= KEY_MAX; ++code) addButton(code);
  for (unsigned code = BTN_MISC; code < BTN_JOYSTICK; ++code) addButton(code);
  m.Info.ButtonCount = static_cast<std::uint32_t>(m.ButtonCodes.size());

  if (UsableAxis(device, ABS_HAT0X)) {
    m.HasHatX = true;
    m.HatXRest = RestOf(libevdev_get_abs_minimum(device, ABS_HAT0X),
                        libevdev_get_abs_maximum(device, ABS_HAT0X));
  }
  if (UsableAxis(device, ABS_HAT0Y)) {
    m.HasHatY = true;
    m.HatYRest = RestOf(libevdev_get_abs_minimum(device, ABS_HAT0Y),
                        libevdev_get_abs_maximum(device, ABS_HAT0Y));
  }
  m.Info.Hat = (m.HasHatX || m.HasHatY) ? THatKind::Discrete : THatKind::None;
  return m;
}

TDeviceState ReadCurrentState(const libevdev* device, const TDeviceMapping& mapping) {
  TDeviceState state;
  for (int axis = 0; axis < AxisCount; ++axis) {
    if (mapping.CodeOfAxis[axis] < 0) continue;
    const int value =
        libevdev_get_event_value(device, EV_ABS, static_cast<unsigned>(mapping.CodeOfAxis[axis]));
    state.Axes[axis] = Clamp(value, mapping.Info.Axes[axis]);
  }
  for (std::size_t i = 0; i < mapping.ButtonCodes.size(); ++i) {
    if (libevdev_get_event_value(device, EV_KEY, mapping.ButtonCodes[i]) == 0) continue;
    ++state.ButtonsHeld;
    if (i < 32) state.Buttons |= 1u << i;
  }
  const int dx = HatDirection(mapping.HasHatX, libevdev_get_event_value(device, EV_ABS, ABS_HAT0X),
                              mapping.HatXRest);
  const int dy = HatDirection(mapping.HasHatY, libevdev_get_event_value(device, EV_ABS, ABS_HAT0Y),
                              mapping.HatYRest);
  state.Pov = PovOf(dx, dy);
  return state;
}

TStateTracker::TStateTracker(const TDeviceMapping& mapping, const libevdev* device)
    : FMapping(mapping) {
  FPending.State = ReadCurrentState(device, mapping);
  FPending.HatX = libevdev_get_event_value(device, EV_ABS, ABS_HAT0X);
  FPending.HatY = libevdev_get_event_value(device, EV_ABS, ABS_HAT0Y);
  for (std::uint16_t code : mapping.ButtonCodes)
    if (libevdev_get_event_value(device, EV_KEY, code) != 0) FPending.Held.set(code);
  FCommitted = FPending;
}

void TStateTracker::UpdatePov(TReading& reading) const {
  reading.State.Pov = PovOf(HatDirection(FMapping.HasHatX, reading.HatX, FMapping.HatXRest),
                            HatDirection(FMapping.HasHatY, reading.HatY, FMapping.HatYRest));
}

bool TStateTracker::Apply(std::uint16_t type, std::uint16_t code, std::int32_t value) {
  switch (type) {
    case EV_ABS: {
      if (code >= ABS_CNT) return false;
      const int axis = FMapping.AxisOfCode[code];
      if (axis >= 0) {
        FPending.State.Axes[axis] = Clamp(value, FMapping.Info.Axes[axis]);
      } else if (code == ABS_HAT0X && FMapping.HasHatX) {
        FPending.HatX = value;
        UpdatePov(FPending);
      } else if (code == ABS_HAT0Y && FMapping.HasHatY) {
        FPending.HatY = value;
        UpdatePov(FPending);
      }
      return false;
    }
    case EV_KEY: {
      if (code >= KEY_CNT) return false;
      const int button = FMapping.ButtonOfCode[code];
      if (button < 0) return false;
      const bool pressed = value != 0;  // 1 pressed, 2 autorepeat, 0 released
      if (FPending.Held.test(code) == pressed) return false;
      FPending.Held.set(code, pressed);
      if (pressed) {
        ++FPending.State.ButtonsHeld;
      } else {
        --FPending.State.ButtonsHeld;
      }
      if (button < 32) {
        const std::uint32_t bit = 1u << button;
        FPending.State.Buttons =
            pressed ? (FPending.State.Buttons | bit) : (FPending.State.Buttons & ~bit);
      }
      return false;
    }
    case EV_SYN:
      if (code == SYN_REPORT) {
        const bool changed = !SameState(FPending.State, FCommitted.State);
        FCommitted = FPending;
        return changed;
      }
      if (code == SYN_DROPPED) FPending = FCommitted;
      return false;
    default:
      return false;
  }
}

TMappedDevice::TMappedDevice(TDeviceMapping mapping, const libevdev* device)
    : FMapping(std::move(mapping)), FTracker(FMapping, device), FState(FTracker.Current()) {}

void TMappedDevice::ReadState(TDeviceState& state) const {
  std::lock_guard lock(FLock);
  state = FState;
}

bool TMappedDevice::Feed(std::uint16_t type, std::uint16_t code, std::int32_t value,
                         TDeviceState& state) {
  if (!FTracker.Apply(type, code, value)) return false;
  std::lock_guard lock(FLock);
  FState = FTracker.Current();
  state = FState;
  return true;
}

std::u16string FitUnits(std::string_view utf8, std::size_t units) {
  std::u16string text = System::Utf8ToString(utf8);
  if (units == 0) return {};
  if (text.size() < units) return text;
  std::size_t keep = units - 1;
  // A high surrogate as the last unit kept would lose its partner.
  if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
  text.resize(keep);
  return text;
}

std::string CodeName(unsigned type, unsigned code) {
  if (const char* name = libevdev_event_code_get_name(type, code)) return name;
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", code);
  return text;
}

}  // namespace vorlane::JoystickService::EvdevBackend
