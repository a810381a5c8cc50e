// The script that the DirectInput stand-in plays: which controllers exist and how
// their controls move over time. The format is described in README.md.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::dinput {

// The axis kinds a scripted controller may have, each with the DirectInput
// object GUID and HID usage of its kind.
enum class AxisKind { X, Y, Z, Rx, Ry, Rz, Slider };

inline constexpr int kMaxDevices = 4;
inline constexpr int kMaxAxes = 8;
inline constexpr int kMaxButtons = 128;
inline constexpr int kMaxSliders = 2;
inline constexpr std::int32_t kHatCentred = -1;

struct ScriptedAxis {
  AxisKind kind;
  std::int32_t min;
  std::int32_t max;
  std::int32_t initial;
};

struct ScriptedDevice {
  std::string name;
  std::uint16_t vendor = 0x1209;
  std::uint16_t product = 0x0001;
  std::vector<ScriptedAxis> axes;  // in the order the device reports them
  bool hat = false;
  int buttons = 0;
  bool attached = true;

  // The index into `axes` of the nth (0-based) axis of this kind, or -1.
  int axisIndex(AxisKind kind, int nth = 0) const;
};

struct Step {
  enum class Action { SetAxis, Press, Release, Hat, Unplug, Plug };
  std::uint32_t atMs;
  int line;
  int device;
  Action action;
  int index = 0;           // axis index (into ScriptedDevice::axes) or 0-based button
  std::int32_t value = 0;  // axis value in the device's units, or hat hundredths of a degree
};

struct DeviceScript {
  std::vector<ScriptedDevice> devices;
  std::vector<Step> steps;  // ordered by time, as written
};

// A script that cannot be played, with the 1-based line it was found on
// (0 when the problem is the file itself).
class ScriptError : public std::runtime_error {
 public:
  ScriptError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

DeviceScript parseScript(std::string_view text);

// Canonical spelling of an axis kind in scripts ("X", "Rz", "Slider"...).
const char* axisName(AxisKind kind);

}  // namespace vorlane::dinput
