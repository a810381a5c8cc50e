#include "joystick/evdev/DeviceMapping.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "joystick/evdev/PadFamilies.hpp"
#include "vorlane/runtime/System.hpp"

namespace vorlane::JoystickService::EvdevBackend {

namespace {

// HID usages as hid-input reports them, and as Windows' axis selection names them.
enum THidUsage : int { UX, UY, UZ, URx, URy, URz, USlider, UDial, UWheel, UsageCount };

// Windows' joystick service gives each record axis the first unused HID usage of its
// row (X: X, Ry; Y: Y, Rx; Z: Z, Wheel, Slider, Dial; R: Rz, Slider, Dial, Ry, Rx;
// U: Slider, Dial, Ry, Rx; V: Rx). -1 ends a row.
constexpr int SlotUsages[AxisCount][5] = {
    {UX, URy, -1, -1, -1},
    {UY, URx, -1, -1, -1},
    {UZ, UWheel, USlider, UDial, -1},
    {URz, USlider, UDial, URy, URx},
    {USlider, UDial, URy, URx, -1},
    {URx, -1, -1, -1, -1},
};

bool SameState(const TDeviceState& a, const TDeviceState& b) {
  return std::equal(std::begin(a.Axes), std::end(a.Axes), std::begin(b.Axes)) &&
         a.Buttons == b.Buttons && a.ButtonsHeld == b.ButtonsHeld && a.Pov == b.Pov;
}

std::string Text(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

// The HID usage hid-input mapped to `code`, as far as it can be told back. hid-input
// gives Generic Desktop X..Rz codes ABS_X..ABS_RZ, Slider ABS_THROTTLE, Dial
// ABS_RUDDER and Wheel ABS_WHEEL; the Simulation page's Steering (ABS_WHEEL), Rudder
// (ABS_RUDDER), Accelerator (ABS_GAS) and Brake (ABS_BRAKE) take the axis DirectInput
// gives them (X, Rz, Y, Rz) when the device has no Generic Desktop axis there. -1: no
// usage the selection knows; the code fills a free slot afterwards.
int UsageOf(const libevdev* device, unsigned code) {
  switch (code) {
    case ABS_X:
    case ABS_Y:
    case ABS_Z:
    case ABS_RX:
    case ABS_RY:
    case ABS_RZ:
      return static_cast<int>(code - ABS_X);
    case ABS_THROTTLE:
      return USlider;
    case ABS_RUDDER:
      return UsableAxis(device, ABS_RZ) ? UDial : URz;
    case ABS_WHEEL:
      return UsableAxis(device, ABS_X) ? UWheel : UX;
    case ABS_GAS:
      return UsableAxis(device, ABS_Y) ? -1 : UY;
    case ABS_BRAKE:
      return UsableAxis(device, ABS_RZ) ? -1 : URz;
    default:
      return -1;
  }
}

// Absolute codes that are axes of a controller: ABS_X..ABS_BRAKE, and ABS_MISC up to
// the multitouch codes, where hid-input puts axes it has no code of their own for.
bool IsAxisCode(unsigned code) {
  return code <= ABS_BRAKE || (code >= ABS_MISC && code < ABS_MT_SLOT);
}

void MapGenericAxes(const libevdev* device, TDeviceMapping& m) {
  std::array<int, UsageCount> codeOfUsage;
  codeOfUsage.fill(-1);
  std::vector<unsigned> others;  // in code order
  for (unsigned code = 0; code < ABS_MT_SLOT; ++code) {
    if (!IsAxisCode(code) || !UsableAxis(device, code)) continue;
    const int usage = UsageOf(device, code);
    if (usage >= 0 && codeOfUsage[usage] < 0)
      codeOfUsage[usage] = static_cast<int>(code);
    else
      others.push_back(code);
  }
  std::array<bool, UsageCount> taken{};
  for (int axis = 0; axis < AxisCount; ++axis) {
    for (int usage : SlotUsages[axis]) {
      if (usage < 0) break;
      if (taken[usage] || codeOfUsage[usage] < 0) continue;
      taken[usage] = true;
      m.Feeds[axis].Plus = codeOfUsage[usage];
      break;
    }
  }
  // What no row took fills the slots still free, in code order.
  for (int usage = 0; usage < UsageCount; ++usage)
    if (!taken[usage] && codeOfUsage[usage] >= 0)
      others.push_back(static_cast<unsigned>(codeOfUsage[usage]));
  std::sort(others.begin(), others.end());
  int axis = 0;
  for (unsigned code : others) {
    while (axis < AxisCount && m.Feeds[axis].Plus >= 0) ++axis;
    if (axis < AxisCount) {
      m.Feeds[axis].Plus = static_cast<std::int32_t>(code);
    } else {
      m.LeftOut.push_back({EV_ABS, static_cast<std::uint16_t>(code), "more than 6 axes"});
    }
  }
}

void MapGenericButtons(const libevdev* device, TDeviceMapping& m) {
  for (unsigned code = BTN_MISC; code <= KEY_MAX; ++code)
    if (IsButtonCode(code) && libevdev_has_event_code(device, EV_KEY, code))
      m.ButtonCodes.push_back(static_cast<std::uint16_t>(code));
}

// Fills what follows from the feeds and the button order: the axis ranges and the
// code-to-slot tables, the hat, and the buttons beyond 32.
void Complete(const libevdev* device, TDeviceMapping& m) {
  for (int axis = 0; axis < AxisCount; ++axis) {
    const TAxisFeed& feed = m.Feeds[axis];
    if (feed.Plus < 0) continue;
    const auto plus = static_cast<unsigned>(feed.Plus);
    TAxisRange& range = m.Info.Axes[axis];
    range.Present = true;
    if (feed.Minus < 0) {
      range.Min = libevdev_get_abs_minimum(device, plus);
      range.Max = libevdev_get_abs_maximum(device, plus);
      range.Rest = RestOf(range.Min, range.Max);
    } else {
      const auto minus = static_cast<unsigned>(feed.Minus);
      range.Max = libevdev_get_abs_maximum(device, plus) - libevdev_get_abs_minimum(device, plus);
      range.Min = libevdev_get_abs_minimum(device, minus) - libevdev_get_abs_maximum(device, minus);
      range.Rest = 0;  // both released
      m.AxisOfCode[minus] = static_cast<std::int8_t>(axis);
      m.Feeds[axis].MinusMin = libevdev_get_abs_minimum(device, minus);
      m.Feeds[axis].MinusMax = libevdev_get_abs_maximum(device, minus);
    }
    m.AxisOfCode[plus] = static_cast<std::int8_t>(axis);
    m.CodeOfAxis[axis] = feed.Plus;
    m.Feeds[axis].PlusMin = libevdev_get_abs_minimum(device, plus);
    m.Feeds[axis].PlusMax = libevdev_get_abs_maximum(device, plus);
  }
  for (unsigned code = ABS_HAT1X; code <= ABS_HAT3Y; ++code)
    if (libevdev_has_event_code(device, EV_ABS, code))
      m.LeftOut.push_back({EV_ABS, static_cast<std::uint16_t>(code), "a second hat"});
  for (std::size_t i = 0; i < m.ButtonCodes.size(); ++i) {
    m.ButtonOfCode[m.ButtonCodes[i]] = static_cast<std::int16_t>(i);
    if (i >= 32) m.LeftOut.push_back({EV_KEY, m.ButtonCodes[i], "more than 32 buttons"});
  }
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
}

// -1, 0 or 1: where a hat axis stands relative to its rest; 0 for a missing axis.
int HatDirection(bool present, std::int32_t value, std::int32_t rest) {
  if (!present) return 0;
  return (value > rest) - (value < rest);
}

}  // namespace

bool UsableAxis(const libevdev* device, unsigned code) {
  if (!libevdev_has_event_code(device, EV_ABS, code)) return false;
  const input_absinfo* info = libevdev_get_abs_info(device, code);
  return info != nullptr && info->maximum > info->minimum;
}

std::int32_t FeedValue(const TAxisFeed& feed, const TAxisRange& range, std::int32_t plus,
                       std::int32_t minus) {
  if (feed.Minus < 0) return std::clamp(plus, range.Min, range.Max);
  const std::int64_t up = std::int64_t{std::clamp(plus, feed.PlusMin, feed.PlusMax)} - feed.PlusMin;
  const std::int64_t down =
      std::int64_t{std::clamp(minus, feed.MinusMin, feed.MinusMax)} - feed.MinusMin;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(up - down, range.Min, range.Max));
}

bool IsButtonCode(unsigned code) {
  return code >= BTN_MISC && code <= KEY_MAX && !(code >= BTN_DIGI && code < BTN_WHEEL);
}

const char* FamilyName(TFamily family) {
  switch (family) {
    case TFamily::Xbox:
      return "Xbox";
    case TFamily::Sony:
      return "Sony";
    case TFamily::Nintendo:
      return "Nintendo";
    case TFamily::Generic:
      break;
  }
  return "generic HID";
}

TMappingOptions MappingOptionsFromEnvironment() {
  TMappingOptions options;
  const char* value = std::getenv("VORLANE_JOYSTICK_SEPARATE_TRIGGERS");
  options.SeparateTriggers = value != nullptr && *value != '\0' && std::string_view(value) != "0";
  return options;
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

TDeviceMapping MapDevice(const libevdev* device, const TMappingOptions& options) {
  TDeviceMapping m;
  m.AxisOfCode.fill(-1);
  m.CodeOfAxis.fill(-1);
  m.ButtonOfCode.fill(-1);

  m.Info.Name = ProductNameOf(Text(libevdev_get_name(device)), NameUnits);
  m.Info.Vendor = static_cast<std::uint16_t>(libevdev_get_id_vendor(device));
  m.Info.Product = static_cast<std::uint16_t>(libevdev_get_id_product(device));
  m.Info.Identity = IdentityOf(device);
  // The Simulation page's pedals (and some pads' triggers) rest released.
  m.RestsAtMinimum.set(ABS_GAS).set(ABS_BRAKE);

  if (!MapPadFamily(device, options, m)) {
    MapGenericAxes(device, m);
    MapGenericButtons(device, m);
  }
  Complete(device, m);
  m.Info.LeftOut = LeftOutLines(m);
  return m;
}

std::string FeedName(const TDeviceMapping& mapping, int axis) {
  const TAxisFeed& feed = mapping.Feeds[static_cast<std::size_t>(axis)];
  if (feed.Plus < 0) return {};
  std::string name = CodeName(EV_ABS, static_cast<unsigned>(feed.Plus));
  if (feed.Minus >= 0) {
    // Appended piece by piece: g++ 12 at -O3 misreads `literal + temporary` as an
    // overlapping copy (-Wrestrict).
    name += '-';
    name += CodeName(EV_ABS, static_cast<unsigned>(feed.Minus));
  }
  return name;
}

std::vector<std::string> LeftOutLines(const TDeviceMapping& mapping) {
  std::vector<std::string> lines;
  std::vector<std::string> reasons;
  for (const TLeftOut& item : mapping.LeftOut) {
    const std::string why = item.Why;
    auto it = std::find(reasons.begin(), reasons.end(), why);
    const std::string name = CodeName(item.Type, item.Code);
    if (it == reasons.end()) {
      reasons.push_back(why);
      lines.push_back(why + ": " + name);
    } else {
      lines[static_cast<std::size_t>(it - reasons.begin())] += " " + name;
    }
  }
  return lines;
}

std::int32_t RestOfCode(const libevdev* device, const TDeviceMapping& mapping, unsigned code) {
  const std::int32_t min = libevdev_get_abs_minimum(device, code);
  if (code < ABS_CNT && mapping.RestsAtMinimum[code]) return min;
  return RestOf(min, libevdev_get_abs_maximum(device, code));
}

void SetStartValues(libevdev* device, const TDeviceMapping& mapping, const TStartValues& start) {
  for (unsigned code = 0; code < ABS_CNT; ++code) {
    if (!libevdev_has_event_code(device, EV_ABS, code)) continue;
    const std::int32_t min = libevdev_get_abs_minimum(device, code);
    const std::int32_t max = std::max(min, libevdev_get_abs_maximum(device, code));
    const std::int32_t value =
        start[code] ? std::clamp(*start[code], min, max) : RestOfCode(device, mapping, code);
    libevdev_set_event_value(device, EV_ABS, code, value);
  }
}

TDeviceState ReadCurrentState(const libevdev* device, const TDeviceMapping& mapping) {
  TDeviceState state;
  for (int axis = 0; axis < AxisCount; ++axis) {
    const TAxisFeed& feed = mapping.Feeds[axis];
    if (feed.Plus < 0) continue;
    const int plus = libevdev_get_event_value(device, EV_ABS, static_cast<unsigned>(feed.Plus));
    const int minus = feed.Minus < 0 ? 0
                                     : libevdev_get_event_value(device, EV_ABS,
                                                                static_cast<unsigned>(feed.Minus));
    state.Axes[axis] = FeedValue(feed, mapping.Info.Axes[axis], plus, minus);
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
  for (int axis = 0; axis < AxisCount; ++axis) {
    const TAxisFeed& feed = mapping.Feeds[axis];
    if (feed.Plus >= 0)
      FPending.Raw[axis][0] =
          libevdev_get_event_value(device, EV_ABS, static_cast<unsigned>(feed.Plus));
    if (feed.Minus >= 0)
      FPending.Raw[axis][1] =
          libevdev_get_event_value(device, EV_ABS, static_cast<unsigned>(feed.Minus));
  }
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
        const TAxisFeed& feed = FMapping.Feeds[axis];
        std::int32_t(&raw)[2] = FPending.Raw[axis];
        raw[code == feed.Minus ? 1 : 0] = value;
        FPending.State.Axes[axis] = FeedValue(feed, FMapping.Info.Axes[axis], raw[0], raw[1]);
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

std::u16string ProductNameOf(std::string_view utf8, std::size_t units) {
  const std::u16string text = System::Utf8ToString(utf8);
  // hid-input names a device "<manufacturer> <product>", so a product string that
  // names its maker again doubles the vendor ("Logitech Logitech Extreme 3D").
  const std::size_t end = text.find(u' ');
  const std::size_t next = end == std::u16string::npos ? end : text.find_first_not_of(u' ', end);
  if (end == 0 || next == std::u16string::npos) return FitUnits(utf8, units);
  const std::u16string_view vendor(text.data(), end);
  const std::u16string_view rest(text.data() + next, text.size() - next);
  bool repeated = false;
  bool doubled = false;
  for (std::size_t at = 0; at < rest.size();) {
    const std::size_t stop = std::min(rest.find(u' ', at), rest.size());
    if (System::SameText(rest.substr(at, stop - at), vendor)) {
      repeated = true;
      doubled = doubled || at == 0;
    }
    at = stop + 1;
  }
  if (doubled || (repeated && text.size() >= units))
    return FitUnits(System::StringToUtf8(std::u16string(rest)), units);
  return FitUnits(utf8, units);
}

std::string CodeName(unsigned type, unsigned code) {
  if (const char* name = libevdev_event_code_get_name(type, code)) return name;
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", code);
  return text;
}

}  // namespace vorlane::JoystickService::EvdevBackend
