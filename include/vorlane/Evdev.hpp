// Linux controllers for tools and applications: the event nodes under /dev/input
// that are joysticks (or that could not be opened, and why), and evemu recordings
// attached as replayed controllers while the program runs.
//
//   for (const auto& node : vorlane::Evdev::ListNodes())
//     if (!node.Opened) std::printf("%s: %s; %s\n", node.Path.c_str(),
//                                   node.Reason.c_str(), node.Remedy.c_str());
//
//   auto pad = vorlane::Evdev::AttachRecording("gamepad.evemu");  // throws ERecordingError
//   ...                           // the replayed controller plays its recorded events
//   pad.Detach();                 // or let `pad` go out of scope
//
// How kernel codes become axes, buttons and the hat: docs/evdev-mapping.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vorlane/runtime/System.hpp"

namespace vorlane::Evdev {

// A recording that cannot be used: names the file, the line (1-based; 0 when the
// file itself could not be read) and what was expected there.
class ERecordingError : public System::Exception {
 public:
  ERecordingError(std::string fileName, std::uint32_t line, std::string expected,
                  std::string found);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  const std::string& GetFileName() const { return FFileName; }
  std::uint32_t GetLine() const { return FLine; }
  const std::string& GetExpected() const { return FExpected; }
  const std::string& GetFound() const { return FFound; }  // the offending text, shortened

 private:
  std::string FFileName;
  std::uint32_t FLine;
  std::string FExpected;
  std::string FFound;
};

// Raised when something other than a recording's content goes wrong, for example
// when no joystick service is running to attach a recording to.
class EEvdevError : public System::Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

struct TAxisReport {
  char Axis = 'X';   // X, Y, Z, R, U or V
  std::string Code;  // the kernel code feeding it, e.g. "ABS_RZ", or "ABS_Z-ABS_RZ"
  std::int32_t Min = 0;
  std::int32_t Max = 0;
  std::int32_t Rest = 0;
  std::int32_t Value = 0;  // the current reading, clamped into [Min, Max]
};

// One event node: either a joystick that was opened, or a node that could not be
// opened (which might be a joystick the user may not read).
struct TNodeReport {
  std::string Path;  // e.g. "/dev/input/event7"
  bool Opened = false;

  // Opened == false:
  int Error = 0;       // the errno of the failure
  std::string Reason;  // e.g. "permission denied"
  std::string Remedy;  // e.g. "add the user to the 'input' group ..."

  // Opened == true:
  std::string Name;
  std::uint16_t Vendor = 0;
  std::uint16_t Product = 0;
  std::string Uniq;
  std::string Phys;
  std::vector<TAxisReport> Axes;  // the mapped axes, in X, Y, Z, R, U, V order
  bool HasHat = false;
  std::uint32_t Pov = 65535;  // hundredths of a degree, 65535 when centred
  std::uint32_t ButtonCount = 0;
  std::uint32_t Buttons = 0;  // buttons 1..32, bit n-1 = button n
  std::uint32_t ButtonsHeld = 0;
  // What the records cannot hold, one line per reason by kernel code name, e.g.
  // "more than 32 buttons: BTN_TRIGGER_HAPPY29 BTN_TRIGGER_HAPPY30".
  std::vector<std::string> LeftOut;
};

// Every event node in `directory` that is a joystick or gamepad, with its state,
// and every node that could not be opened, in node-number order. Nodes that are
// something else (keyboards, mice) are left out. A missing directory gives an
// empty list.
std::vector<TNodeReport> ListNodes(const std::string& directory = "/dev/input");

// What the records cannot hold of the controller attached to the running joystick
// service as `controller` (an event node or a replayed recording), as
// TNodeReport::LeftOut; empty when everything fits or nothing is attached there.
std::vector<std::string> GetLeftOut(int controller);

// A recording attached to the running joystick service as a replayed controller.
// It plays the recorded events at their recorded pace and stays attached, at its
// last reading, when they are over. Destroying or detaching the handle unplugs
// the controller.
class TAttachedRecording {
 public:
  TAttachedRecording();
  TAttachedRecording(TAttachedRecording&&) noexcept;
  TAttachedRecording& operator=(TAttachedRecording&&) noexcept;
  ~TAttachedRecording();

  bool IsAttached() const { return FImpl != nullptr; }
  // The controller number the service gave it; -1 when every number was taken.
  int GetController() const;
  // What the records cannot hold of the recorded device (as TNodeReport::LeftOut).
  std::vector<std::string> GetLeftOut() const;
  void Detach();

  struct TImpl;
  explicit TAttachedRecording(std::unique_ptr<TImpl> impl);

 private:
  std::unique_ptr<TImpl> FImpl;
};

// Reads `path` (evemu's text format, as evemu-record writes it) and attaches it.
// Raises ERecordingError when the file is unreadable or malformed, and EEvdevError
// when no joystick service is running.
TAttachedRecording AttachRecording(const std::string& path);

// Splits a ':'-separated list of recording files (the form of
// VORLANE_JOYSTICK_DEVICES), dropping empty entries.
std::vector<std::string> SplitDeviceList(const std::string& list);

}  // namespace vorlane::Evdev
