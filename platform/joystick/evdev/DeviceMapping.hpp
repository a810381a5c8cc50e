// How an evdev device becomes one of the service's controllers: which event nodes
// count as joysticks, which kernel codes feed which axis, button and hat, and the
// running state of a device built from its events. Everything here works on a
// `struct libevdev` alone, so a device described in memory (libevdev_new plus
// libevdev_enable_event_code) behaves exactly like one opened from /dev/input.
// The mapping table itself is written down in EvdevDriver.hpp.
#pragma once

#include <libevdev/libevdev.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "joystick/JoystickDriver.hpp"

namespace vorlane::JoystickService::EvdevBackend {

struct TLibevdevDeleter {
  void operator()(libevdev* device) const { libevdev_free(device); }
};
using TLibevdevPtr = std::unique_ptr<libevdev, TLibevdevDeleter>;

// A joystick or gamepad: the device has at least one key in the joystick range
// (BTN_JOYSTICK 0x120 to 0x12f) or the gamepad range (BTN_GAMEPAD 0x130 to 0x13f),
// with or without absolute X/Y axes. Accelerometer nodes (INPUT_PROP_ACCELEROMETER),
// which some gamepads expose next to their main node, are not joysticks.
bool IsJoystick(const libevdev* device);

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

// What the service sees of a device, and which kernel code feeds what.
struct TDeviceMapping {
  TDeviceInfo Info;
  std::array<std::int8_t, ABS_CNT> AxisOfCode{};     // -1, or the TAxis index
  std::array<std::int32_t, AxisCount> CodeOfAxis{};  // -1, or the ABS_ code
  std::array<std::int16_t, KEY_CNT> ButtonOfCode{};  // -1, or the 0-based button
  std::vector<std::uint16_t> ButtonCodes;            // button n is ButtonCodes[n - 1]
  bool HasHatX = false;
  bool HasHatY = false;
  std::int32_t HatXRest = 0;
  std::int32_t HatYRest = 0;
};

// Builds the mapping of `device`. Info.Name (cut to fit szPname), Vendor, Product, Axes,
// ButtonCount, Hat and Identity come from the device; RegKey and Driver are left for the caller. An
// axis whose range is empty or inverted (maximum <= minimum) cannot report a position and is
// skipped, so the next code in its row takes its place.
TDeviceMapping MapDevice(const libevdev* device);

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

// The kernel's name of a code ("ABS_RZ", "BTN_SOUTH"), or "0x<hex>" when it has none.
std::string CodeName(unsigned type, unsigned code);

}  // namespace vorlane::JoystickService::EvdevBackend
