// The Linux backends of the joystick service: real controllers through the
// kernel's evdev interface (libevdev), and evemu recordings replayed as virtual
// controllers through the same mapping.
//
// Discovery and hotplug. Every /dev/input/event* node is opened once; a node that
// is a joystick or gamepad (it has a key in BTN_JOYSTICK 0x120..0x12f or BTN_GAMEPAD
// 0x130..0x13f, with or without absolute X/Y axes, and is not an accelerometer node)
// becomes a device; other nodes are closed again at once. /dev/input is watched with
// inotify, so arrivals and departures are seen with or without udev and inside
// containers: a new node is opened (again when its permissions change, for a node
// that could not be opened yet), a removed node or a read that answers ENODEV
// reports the device removed. One reader thread waits (epoll) on the device nodes
// and the directory; it reports one device update per SYN_REPORT that changed the
// reading, and recovers from SYN_DROPPED with libevdev's sync mode. Identity, for
// giving a returning device its old number: "uniq:<unique id>", else
// "phys:<physical path>", else "id:<vendor>:<product>:<name>".
//
// Mapping (also in docs/evdev-mapping.md):
//
//   service     kernel code(s), first present wins
//   X           ABS_X, else ABS_WHEEL
//   Y           ABS_Y, else ABS_GAS
//   Z           ABS_Z, else ABS_THROTTLE, else ABS_BRAKE      (JOYCAPS_HASZ)
//   R           ABS_RZ, else ABS_RUDDER                       (JOYCAPS_HASR)
//   U           ABS_RX                                        (JOYCAPS_HASU)
//   V           ABS_RY                                        (JOYCAPS_HASV)
//   hat         ABS_HAT0X, ABS_HAT0Y: y < rest forward 0, x > rest right 9000,
//               y > rest backward 18000, x < rest left 27000, diagonals 4500,
//               13500, 22500, 31500; 65535 centred     (JOYCAPS_HASPOV | POV4DIR)
//   buttons     the device's keys from BTN_JOYSTICK (0x120) up to KEY_MAX, then
//               BTN_MISC (0x100) to 0x11f, each in code order, numbered from 1
//
// Hats are not axes, and other absolute codes are not mapped. An axis with an empty
// range (maximum <= minimum) counts as absent. Each mapped axis reports the kernel's
// minimum and maximum, its rest = (minimum + maximum) / 2 rounded toward zero (the
// middle of the range), and its current reading clamped into [minimum, maximum].
// The service then scales every backend's readings alike (platform/joystick/Scaling.hpp):
//   calibrated           (reading - minimum) * 65535 / (maximum - minimum), rounded down
//   JOY_RETURNCENTERED   [minimum, rest] -> 0..32767, [rest, maximum] -> 32767..65535
//   JOY_RETURNRAWDATA    reading - minimum, never negative
// Buttons: the device reports its full count (wNumButtons shows at most 32), dwButtons
// holds buttons 1..32, dwButtonNumber counts every held button.
//
// Capabilities: wMid/wPid = the device's USB vendor/product ids; szPname = its name,
// UTF-8 to UTF-16, cut to 31 units so that its zero fits (never inside a surrogate
// pair); the axis ranges and counts above; szRegKey = the event node
// ("/dev/input/event7"; for a replay the recording's file name); szOEMVxD = the
// driver and where the device sits ("evdev /dev/input/event7 usb-0000:00:14.0-2/input0",
// for a replay "evemu replay <path>"); both cut like szPname.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "joystick/JoystickDriver.hpp"

namespace vorlane::JoystickService {

namespace EvdevBackend {
class TKernelIo;
}

// The evdev backend over /dev/input.
std::unique_ptr<TJoystickDriver> CreateEvdevDriver();

// The evdev backend over any kernel seam (tests pass a fake).
std::unique_ptr<TJoystickDriver> CreateEvdevDriver(std::unique_ptr<EvdevBackend::TKernelIo> io);

// One replayed controller per recording, reported in list order when opened. Every
// recording is read and checked here: a missing or malformed file raises
// Evdev::ERecordingError (vorlane/Evdev.hpp) naming the file, the line and what
// was expected, and no driver is made.
std::unique_ptr<TJoystickDriver> CreateReplayDriver(const std::vector<std::string>& recordingPaths);

}  // namespace vorlane::JoystickService
