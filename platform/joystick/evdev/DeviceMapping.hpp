// How an evdev device becomes one of the service's controllers: which event nodes
// count as joysticks, which kernel codes feed which axis, button and hat, and the
// running state of a device built from its events. Everything here works on a
// `struct libevdev` alone, so a device described in memory (libevdev_new plus
// libevdev_enable_event_code) behaves exactly like one opened from /dev/input.
// The mapping table and its sources are written down in docs/evdev-mapping.md.
#pragma once

#include <libevdev/libevdev.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "joystick/JoystickDriver.hpp"

namespace vorlane::JoystickService::EvdevBackend {

struct TLibevdevDeleter {
  void operator()(libevdev* device) const { libevdev_free(device); }
};
using TLibevdevPtr = std::unique_ptr<libevdev, TLibevdevDeleter>;

// Whether an event node is a controller, after the rules of systemd's input_id and
// SDL: joystick-range buttons (BTN_JOYSTICK..BTN_GAMEPAD range, BTN_0..BTN_9,
// BTN_TRIGGER_HAPPY.., BTN_DPAD_..), or joystick axes (ABS_RX..ABS_BRAKE) with or
// without ABS_X/ABS_Y, make a controller; button-less pedals count. Refused, each with
// its reason: motion sensors (INPUT_PROP_ACCELEROMETER, or bare X/Y/Z axes with no
// keys), touchpads, graphics tablets, touchscreens, mice, and nodes that are mainly a
// keyboard though they carry a joystick key or two.
struct TNodeClass {
  bool Controller = false;
  std::string Reason;  // why it is not a controller, e.g. "a touchpad (BTN_TOOL_FINGER)"
};
TNodeClass ClassifyNode(const libevdev* device);
inline bool IsJoystick(const libevdev* device) {
  return ClassifyNode(device).Controller;
}

// An axis that can report a position: present, with maximum above minimum.
bool UsableAxis(const libevdev* device, unsigned code);

// Key codes that are controller buttons: BTN_MISC (0x100) and above, but not the
// digitizer's tools and touches (BTN_DIGI 0x140 to 0x14f). Keyboard keys below
// BTN_MISC never are: Windows does not count a node's keyboard or consumer keys as
// joystick buttons.
bool IsButtonCode(unsigned code);

// The reading at rest of an axis reported over [min, max]: the middle of the range,
// (min + max) / 2 rounded toward zero, so -32768..32767 rests at 0 and 0..255 at 127.
std::int32_t RestOf(std::int32_t min, std::int32_t max);

// The hat's direction in hundredths of a degree clockwise from forward, from the
// signs of its two readings relative to their rest: dy < 0 is forward, dx > 0 right;
// PovCentered when both are 0.
std::uint32_t PovOf(int dx, int dy);

// The stable identity of a device: "uniq:<id>" when the kernel gives a unique id,
// else "phys:<path>", else "id:<vendor>:<product>:<name>" (ids in 4-digit hex).
std::string IdentityOf(const libevdev* device);

// The controller layouts that are rebuilt from a kernel driver's own order (see
// PadFamilies.hpp); every other device is a generic HID device.
enum class TFamily : std::uint8_t { Generic, Xbox, Sony, Nintendo };
const char* FamilyName(TFamily family);

// How a device is mapped; the environment sets the default (MappingOptionsFromEnvironment).
struct TMappingOptions {
  // Xbox pads: the left trigger on Z and the right trigger on V, each resting at its
  // minimum, instead of both on one centred Z as Windows presents them.
  bool SeparateTriggers = false;
};
// VORLANE_JOYSTICK_SEPARATE_TRIGGERS=1 asks for separate triggers; unset, empty or 0
// leaves them combined.
TMappingOptions MappingOptionsFromEnvironment();

// Where an axis slot's reading comes from: one kernel code, or two codes pulling in
// opposite directions (two triggers on one axis: reading = Plus - Minus, each measured
// from its own minimum).
struct TAxisFeed {
  std::int32_t Plus = -1;   // the ABS_ code, -1 when the slot is empty
  std::int32_t Minus = -1;  // the ABS_ code pulling the other way, or -1
  std::int32_t PlusMin = 0, PlusMax = 0, MinusMin = 0, MinusMax = 0;  // their kernel ranges
};

// The slot's reading from the latest values of its codes, clamped into `range`.
std::int32_t FeedValue(const TAxisFeed& feed, const TAxisRange& range, std::int32_t plus,
                       std::int32_t minus);

// A control the records cannot hold: more than 6 axes, more than 32 buttons, a second
// hat, or a code outside a pad family's layout.
struct TLeftOut {
  std::uint16_t Type = 0;  // EV_ABS or EV_KEY
  std::uint16_t Code = 0;
  const char* Why = "";  // e.g. "more than 6 axes"
};

// What the service sees of a device, and which kernel code feeds what.
struct TDeviceMapping {
  TDeviceInfo Info;
  TFamily Family = TFamily::Generic;
  std::array<TAxisFeed, AxisCount> Feeds{};
  std::array<std::int8_t, ABS_CNT> AxisOfCode{};     // -1, or the TAxis index
  std::array<std::int32_t, AxisCount> CodeOfAxis{};  // -1, or the slot's (first) ABS_ code
  std::array<std::int16_t, KEY_CNT> ButtonOfCode{};  // -1, or the 0-based button
  std::vector<std::uint16_t> ButtonCodes;            // button n is ButtonCodes[n - 1]
  std::vector<TLeftOut> LeftOut;                     // in axis, hat, button order
  bool HasHatX = false;
  bool HasHatY = false;
  std::int32_t HatXRest = 0;
  std::int32_t HatYRest = 0;
  std::bitset<ABS_CNT> RestsAtMinimum;  // triggers and pedals, which rest fully released
};

// Builds the mapping of `device` as Windows' joystick service presents the same
// controller: a pad family's table when the device carries that driver's signature,
// else the generic HID rule (docs/evdev-mapping.md has both). Info.Name (fitted to
// szPname), Vendor, Product, Axes, ButtonCount, Hat and Identity come from the device;
// RegKey and Driver are left for the caller. An axis whose range is empty or inverted
// (maximum <= minimum) cannot report a position and counts as absent.
TDeviceMapping MapDevice(const libevdev* device,
                         const TMappingOptions& options = MappingOptionsFromEnvironment());

// The kernel name of what feeds `axis`: "ABS_RZ", "ABS_Z-ABS_RZ" for two triggers on
// one axis, or "" for an empty slot.
std::string FeedName(const TDeviceMapping& mapping, int axis);

// The left-out controls as lines for people, one per reason, e.g.
// "more than 32 buttons: BTN_TRIGGER_HAPPY17 BTN_TRIGGER_HAPPY18"; none when all fit.
std::vector<std::string> LeftOutLines(const TDeviceMapping& mapping);

// Where each absolute axis of a recorded device stood when the recording began, as
// far as the recording says.
using TStartValues = std::array<std::optional<std::int32_t>, ABS_CNT>;

// The value at which `code` rests when nobody touches it: the minimum for a trigger
// or pedal (RestsAtMinimum), else the middle of its range.
std::int32_t RestOfCode(const libevdev* device, const TDeviceMapping& mapping, unsigned code);

// Puts every absolute axis of `device` where a replay of it starts: at `start[code]`
// (clamped into its range), else at its rest. A description alone would leave
// libevdev at 0 everywhere.
void SetStartValues(libevdev* device, const TDeviceMapping& mapping, const TStartValues& start);

// The device's reading right now as libevdev knows it (for a kernel device, what
// the ioctls returned when it was opened), axes clamped into their ranges.
TDeviceState ReadCurrentState(const libevdev* device, const TDeviceMapping& mapping);

// Follows a device's events. Events between two SYN_REPORTs form one update; an
// update is published at its SYN_REPORT, and only when it changed the reading.
// A SYN_DROPPED throws away what arrived since the last SYN_REPORT (the events that
// follow it restore the device's state).
class TStateTracker {
 public:
  TStateTracker(const TDeviceMapping& mapping, const libevdev* device);

  // Applies one event; true when it completed an update that changed the reading,
  // which is then in Current().
  bool Apply(std::uint16_t type, std::uint16_t code, std::int32_t value);
  const TDeviceState& Current() const { return FCommitted.State; }

 private:
  struct TReading {
    TDeviceState State;
    std::int32_t Raw[AxisCount][2] = {};  // the latest value of each slot's Plus and Minus code
    std::int32_t HatX = 0;
    std::int32_t HatY = 0;
    std::bitset<KEY_CNT> Held;
  };
  void UpdatePov(TReading& reading) const;

  const TDeviceMapping& FMapping;
  TReading FPending;
  TReading FCommitted;
};

// A mapped device as the service sees it. The backend's thread feeds it events;
// ReadState may be called from any thread.
class TMappedDevice : public TJoystickDevice {
 public:
  TMappedDevice(TDeviceMapping mapping, const libevdev* device);

  const TDeviceInfo& Info() const override { return FMapping.Info; }
  void ReadState(TDeviceState& state) const override;

  // Applies one event. True when it completed a changed update; `state` is then
  // the new reading, already visible to ReadState.
  bool Feed(std::uint16_t type, std::uint16_t code, std::int32_t value, TDeviceState& state);

  const TDeviceMapping& Mapping() const { return FMapping; }

 private:
  const TDeviceMapping FMapping;
  TStateTracker FTracker;  // the feeding thread's own
  mutable std::mutex FLock;
  TDeviceState FState;  // guarded by FLock
};

// Sizes, terminating zero included, of the capability record's texts.
inline constexpr std::size_t NameUnits = 32;     // szPname, szRegKey
inline constexpr std::size_t DriverUnits = 260;  // szOEMVxD

// `utf8` as UTF-16, cut so that it fits `units` units with its terminating zero,
// never inside a surrogate pair.
std::u16string FitUnits(std::string_view utf8, std::size_t units);

// A kernel device name as szPname shows it: spaces runs collapsed, and a word the
// name repeats from its start ("Logitech Logitech G29", "Sony Interactive
// Entertainment Sony Wireless Controller" keeps one) dropped before the name is cut to
// `units` with FitUnits.
std::u16string ProductNameOf(std::string_view utf8, std::size_t units);

// The kernel's name of a code ("ABS_RZ", "BTN_SOUTH"), or "0x<hex>" when it has none.
std::string CodeName(unsigned type, unsigned code);

}  // namespace vorlane::JoystickService::EvdevBackend
