// Reads evemu recordings: the text that evemu-record writes, a device description
// followed by the recorded events.
//
//   # EVEMU 1.3                       format version (optional; 1.0 when absent)
//   N: <device name>
//   I: <bustype> <vendor> <product> <version>          four hex numbers
//   P: <8 hex bytes>                  input properties, 64 per line, in order
//   B: <type> <8 hex bytes>           event codes of one type, 64 per line; the
//                                     lines of a type continue each other; type 00
//                                     lists the event types
//   A: <code> <min> <max> <fuzz> <flat> [<resolution>]  one per absolute axis
//   L: <code> <state>                 LEDs, S: <code> <state> switches
//   E: <sec>.<usec> <type> <code> <value>               type, code hex; value decimal
//
// The header comments that evemu-record writes before N: are read for one thing:
// the "Value" it lists for each absolute axis, where the axis stood when the
// recording began (TRecording::ListedValues).
//
// '#' starts a comment that runs to the end of the line (except on N: lines, where
// the name is the whole rest of the line); blank lines are ignored. The description
// comes first, N: then I: then the other lines; the first E: line ends it.
//
// Every malformed line is refused with Evdev::ERecordingError naming the file, the
// line and what was expected. Beyond evemu's own checks the reader insists on:
// absolute axes enabled in B: 03 lines each have an A: line (an A: line alone also
// enables its axis), minimum <= maximum, events only of codes the description
// enables, times that never go back and that stay within MaxRecordedTime of
// the first event. Files are read through System::ReadWholeFile: a FIFO, device
// or directory is refused without blocking, and so is a file over 256 MiB.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "joystick/evdev/DeviceMapping.hpp"

namespace vorlane::JoystickService::EvdevBackend {

struct TRecordedEvent {
  std::int64_t Time = 0;  // microseconds after the first event
  std::uint16_t Type = 0;
  std::uint16_t Code = 0;
  std::int32_t Value = 0;
  std::uint32_t Line = 0;
};

struct TRecording {
  std::string FileName;
  int VersionMajor = 1;
  int VersionMinor = 0;
  std::uint32_t NameLine = 0;  // the line of N:, which names the device
  TLibevdevPtr Device;         // the described device, built in memory
  std::vector<TRecordedEvent> Events;
  TStartValues ListedValues;  // where each axis stood at the start, as the header comments say
};

// Where a replay of `recording` starts each absolute axis: at the value the header
// comments list for it, at the value the first report (the events up to the first
// SYN_REPORT) gives it, or, for neither, nothing (the axis' rest). A listed 0 away
// from the axis' rest is no position: the kernel holds 0 for an axis that has not
// reported since the device was plugged in, and evemu-record lists what it holds.
TStartValues StartValuesOf(const TRecording& recording, const TDeviceMapping& mapping);

// The latest time an event may have, in microseconds after the first event: a
// billion seconds (about 31 years), far inside what the replay's clock can add.
inline constexpr std::int64_t MaxRecordedTime = std::int64_t{1000000000} * 1000000;

// The longest line accepted, in bytes.
inline constexpr std::size_t MaxRecordingLine = 8192;

// Parses `text`; `fileName` names it in errors.
TRecording ParseRecording(std::string_view text, const std::string& fileName);

// Reads and parses the file at `path`.
TRecording ReadRecording(const std::string& path);

// Parses a recording that is to be replayed as a controller: like ReadRecording,
// and the described device must be a joystick or gamepad.
TRecording ReadControllerRecording(const std::string& path);

}  // namespace vorlane::JoystickService::EvdevBackend
