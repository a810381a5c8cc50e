// The seam between the joystick service and its backends (virtual controllers,
// evdev). Backends only report devices and their state; the service core owns
// numbering, thresholds, capture, message packing, scaling and result codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vorlane/joystickapi.h"

namespace vorlane::JoystickService {

// The six axes of the service's records, in record order.
enum class TAxis : std::uint8_t { X, Y, Z, R, U, V };
inline constexpr int AxisCount = 6;

struct TAxisRange {
  bool Present = false;
  std::int32_t Min = 0;       // the device's lowest reading
  std::int32_t Max = 65535;   // the device's highest reading
  std::int32_t Rest = 32767;  // the reading at rest, Min <= Rest <= Max
};

enum class THatKind : std::uint8_t {
  None,
  Discrete,    // reports forward/right/backward/left and diagonals (JOYCAPS_POV4DIR)
  Continuous,  // reports any angle (JOYCAPS_POVCTS)
};

// What a device is; fixed while it is attached.
struct TDeviceInfo {
  std::u16string Name;  // product name
  std::uint16_t Vendor = 0;
  std::uint16_t Product = 0;
  TAxisRange Axes[AxisCount];
  std::uint32_t ButtonCount = 0;  // may exceed 32; only the first 32 are reported
  THatKind Hat = THatKind::None;
  std::u16string RegKey;  // short texts for szRegKey and szOEMVxD
  std::u16string Driver;
  GUID ManufacturerGuid{};  // for JOYCAPS2W; all zero when the device gives none
  GUID ProductGuid{};
  GUID NameGuid{};
  // Tells the same physical device when it returns after an unplug: the most
  // specific stable identity the backend has (unique id, physical path, or
  // vendor:product:name).
  std::string Identity;
  // What the records cannot hold of the device, for people: one line per reason,
  // e.g. "more than 32 buttons: BTN_TRIGGER_HAPPY17 BTN_TRIGGER_HAPPY18".
  std::vector<std::string> LeftOut;
};

inline constexpr std::uint32_t PovCentered = 65535;

// One consistent reading of a device.
struct TDeviceState {
  std::int32_t Axes[AxisCount] = {};  // in the device's units, within [Min, Max]
  std::uint32_t Buttons = 0;          // buttons 1..32, bit n-1 = button n
  std::uint32_t ButtonsHeld = 0;      // how many buttons are held, all of them counted
  std::uint32_t Pov = PovCentered;    // hundredths of a degree clockwise from forward
};

// An attached device, owned by its backend. It stays valid from DeviceAdded until
// DeviceRemoved has returned.
class TJoystickDevice {
 public:
  virtual ~TJoystickDevice() = default;
  virtual const TDeviceInfo& Info() const = 0;
  // Copies the current state. Callable from any thread.
  virtual void ReadState(TDeviceState& state) const = 0;
};

// The service core as backends see it. Each backend gets a host of its own in
// Open, so that the core knows which backend a number was kept for. Every call is
// thread-safe; a backend must not hold a lock of its own that ReadState takes while
// it calls the host. Calls for one device must come in the order of its updates.
class TDriverHost {
 public:
  virtual ~TDriverHost() = default;
  // A device arrived. The core gives it a number: the number it had before when a
  // device with the same Identity was attached earlier, else the lowest free one.
  // Returns the number, or -1 when every number is taken.
  virtual int DeviceAdded(TJoystickDevice* device) = 0;
  // The device left. Its number is kept for it; calls for it answer
  // JOYERR_UNPLUGGED until it returns.
  virtual void DeviceRemoved(TJoystickDevice* device) = 0;
  // The device is gone for good (it was destroyed, not unplugged): its number is
  // freed for the next new device and a capture of it is released. Also valid for
  // a device that was already reported removed; `device` must still be valid.
  // (The default, for hosts that keep no numbers, treats it as a removal.)
  virtual void DeviceDetached(TJoystickDevice* device) { DeviceRemoved(device); }
  // The device's state changed: one device update. `state` is the new reading.
  virtual void DeviceChanged(TJoystickDevice* device, const TDeviceState& state) = 0;
};

// A backend. The service opens each configured backend once and closes it at exit.
class TJoystickDriver {
 public:
  virtual ~TJoystickDriver() = default;
  virtual const char* Name() const = 0;
  // Reports the devices present now and starts following arrivals and departures.
  virtual void Open(TDriverHost& host) = 0;
  // Stops following; every device still attached is reported removed (the core
  // then forgets the numbers it kept for this backend). No host call may follow.
  virtual void Close() = 0;
};

}  // namespace vorlane::JoystickService
