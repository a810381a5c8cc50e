// Virtual controllers of the joystick service.
//
// A virtual controller is a device made in code. It is attached to the service as
// long as the object lives and answers joyGetPos, joyGetPosEx, joyGetDevCapsW,
// joyGetDevCapsA and joySetCapture like any other controller; its readings go through the same
// scaling as a real device's (see vorlane/joystickapi.h).
//
//   using namespace vorlane::VirtualJoystick;
//   TDescription pad;                                  // X and Y, 8 buttons
//   pad.Name = u"Test Pad";
//   pad.WithAxis(TAxis::Z, -512, 511, 0);             // device units
//   pad.Hat = THatKind::Discrete;
//   TVirtualController controller(pad);               // attached: lowest free number
//   UINT id = controller.GetNumber();
//   controller.SetAxis(TAxis::X, 65535);              // one device update
//   controller.Update([](TBatch& b) {                 // several changes, one update
//     b.SetButton(1, true);
//     b.SetHat(9000);
//   });
//   JOYINFOEX info{};
//   info.dwSize = sizeof info;
//   info.dwFlags = JOY_RETURNX | JOY_RETURNBUTTONS;
//   joyGetPosEx(id, &info);                           // dwXpos 65535, dwButtons 1
//   controller.Unplug();                              // 167 until Replug()
//   controller.Replug();                              // same number again
//
// Every setter may be called from any thread. Each call (or each Update) is one
// device update: a capture in threshold mode compares and posts its messages right
// away. Axis values are in the device's units; a value outside [Min, Max] is
// allowed (real devices overshoot) and the service clamps it. Setters raise
// EVirtualJoystickError for an axis the controller lacks, a button number out of
// range or a hat value the hat cannot show; a failed Update changes nothing.
//
// Fault injection and the call log, for tests, are in vorlane/JoystickTesting.hpp.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vorlane/joystickapi.h"
#include "vorlane/runtime/System.hpp"

namespace vorlane::VirtualJoystick {

// Misuse of a virtual controller: what was wrong and on which controller.
class EVirtualJoystickError : public System::Exception {
 public:
  using Exception::Exception;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// The six axes in record order (dwXpos .. dwVpos).
enum class TAxis : std::uint8_t { X, Y, Z, R, U, V };
inline constexpr int AxisCount = 6;

enum class THatKind : std::uint8_t {
  None,
  Discrete,    // the eight directions 0, 4500, ..., 31500 (JOYCAPS_POV4DIR)
  Continuous,  // any angle 0..35999 (JOYCAPS_POVCTS)
};

inline constexpr std::uint32_t PovCentered = 65535;
inline constexpr std::uint32_t MaxButtons = 256;

struct TAxisDescription {
  bool Present = false;
  std::int32_t Min = 0;       // lowest reading, in the device's units
  std::int32_t Max = 65535;   // highest reading; Min < Max
  std::int32_t Rest = 32767;  // reading at rest, Min <= Rest <= Max; the starting value
};

// What a virtual controller is. Strings longer than the API's fields are cut to
// fit them (32 units for Name and RegKey, 260 for Driver).
struct TDescription {
  System::String Name = u"Vorlane Virtual Joystick";
  std::uint16_t Vendor = 0;   // wMid
  std::uint16_t Product = 0;  // wPid
  TAxisDescription Axes[AxisCount] = {{.Present = true}, {.Present = true}};
  std::uint32_t ButtonCount = 8;  // 0 to MaxButtons; dwButtons shows the first 32
  THatKind Hat = THatKind::None;
  System::String RegKey;  // szRegKey
  System::String Driver;  // szOEMVxD
  // The identifiers of JOYCAPS2W and JOYCAPS2A; all zero when not given.
  GUID ManufacturerGuid{};
  GUID ProductGuid{};
  GUID NameGuid{};

  // Gives the controller `axis` with this range and rest (chainable).
  TDescription& WithAxis(TAxis axis, std::int32_t min = 0, std::int32_t max = 65535,
                         std::int32_t rest = 32767);
  TDescription& WithoutAxis(TAxis axis);
};

// One consistent reading of a virtual controller, in the device's units.
struct TControllerState {
  std::int32_t Axes[AxisCount] = {};
  std::uint64_t Buttons[MaxButtons / 64] = {};  // button n is bit (n-1) % 64 of word (n-1) / 64
  std::uint32_t Hat = PovCentered;
};

class TVirtualController;

// The changes of one Update. Checked as they are made; applied together.
class TBatch {
 public:
  void SetAxis(TAxis axis, std::int32_t value);
  // Button numbers start at 1.
  void SetButton(std::uint32_t button, bool pressed);
  // Buttons 1 to 32 from a mask (bit n-1 = button n); other buttons keep their state.
  void SetButtons(std::uint32_t mask);
  // Hundredths of a degree clockwise from forward, or PovCentered.
  void SetHat(std::uint32_t hundredths);
  const TControllerState& GetState() const { return FState; }

 private:
  friend class TVirtualController;
  explicit TBatch(const TVirtualController& controller, const TControllerState& state)
      : FController(controller), FState(state) {}
  const TVirtualController& FController;
  TControllerState FState;
};

class TVirtualController {
 public:
  // Checks the description (EVirtualJoystickError names what is wrong), starts the
  // service if needed and attaches the controller with the lowest free number;
  // raises EVirtualJoystickError when all 16 numbers are in use. Axes start at
  // their rest, buttons released, hat centred.
  explicit TVirtualController(const TDescription& description = {});
  // Detaches the controller: its number is free again, a capture of it released.
  ~TVirtualController();
  TVirtualController(const TVirtualController&) = delete;
  TVirtualController& operator=(const TVirtualController&) = delete;

  // The controller's number; it keeps it while unplugged.
  UINT GetNumber() const;
  bool GetPlugged() const;
  const TDescription& GetDescription() const;
  TControllerState GetState() const;

  // One device update each.
  void SetAxis(TAxis axis, std::int32_t value);
  void SetButton(std::uint32_t button, bool pressed);
  void SetButtons(std::uint32_t mask);
  void SetHat(std::uint32_t hundredths);

  // Several changes as one device update: `edit` gets a TBatch holding the current
  // state; its changes are applied together when it returns, none of them when it
  // raises. Updates of one controller are applied one at a time, in call order.
  template <class F>
  void Update(F&& edit) {
    std::lock_guard<std::mutex> lock(UpdateMutex());
    TBatch batch(*this, GetState());
    edit(batch);
    Apply(batch.FState);
  }

  // The controller leaves: calls for its number answer JOYERR_UNPLUGGED and a
  // capture stops delivering. Setters still change its state. Does nothing when
  // already unplugged.
  void Unplug();
  // The controller returns with the number it had (unless all 16 numbers were
  // needed meanwhile); a capture of it resumes. Raises EVirtualJoystickError when
  // no number is free. Does nothing when plugged.
  void Replug();

  struct TImpl;

 private:
  friend class TBatch;
  std::mutex& UpdateMutex() const;
  void Apply(const TControllerState& state);  // UpdateMutex held
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace vorlane::VirtualJoystick
