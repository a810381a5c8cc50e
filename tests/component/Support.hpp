// Shared fixtures of the component tests: the hermetic service with readers of
// its call log, and a recorder for the four events.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ServiceFixture.hpp"
#include "vorlane/Joystick.hpp"
#include "vorlane/JoystickTesting.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::Joystick::testing {

using JoystickTesting::TServiceCall;
using VirtualJoystick::TAxis;

using vorlane::testing::DrainMessages;
using vorlane::testing::PumpUntil;

// The hermetic service fixture, with the call log read back as the tests want it.
class ServiceTest : public vorlane::testing::THermeticServiceTest {
 protected:
  // The calls of kind `call` in the log.
  static std::vector<JoystickTesting::TCallRecord> CallsOf(TServiceCall call) {
    std::vector<JoystickTesting::TCallRecord> result;
    for (const auto& r : JoystickTesting::GetCallLog())
      if (r.Call == call) result.push_back(r);
    return result;
  }

  // The names of the calls in the log, in order, e.g. "joyReleaseCapture(0)".
  static std::vector<std::string> CallTrail() {
    std::vector<std::string> result;
    for (const auto& r : JoystickTesting::GetCallLog())
      result.push_back(std::string(JoystickTesting::GetCallName(r.Call)) + "(" +
                       std::to_string(r.Controller) + ")");
    return result;
  }
};

// Records every event as one line of text.
struct TEventRecorder {
  std::vector<std::string> Lines;
  TObject* LastSender = nullptr;

  void ButtonDown(TObject* sender, TButtons changed, TButtons pressed, Integer x, Integer y) {
    Add(sender, "down changed=" + Hex(changed.Bits()) + " pressed=" + Hex(pressed.Bits()) +
                    " x=" + std::to_string(x) + " y=" + std::to_string(y));
  }
  void ButtonUp(TObject* sender, TButtons changed, TButtons pressed, Integer x, Integer y) {
    Add(sender, "up changed=" + Hex(changed.Bits()) + " pressed=" + Hex(pressed.Bits()) +
                    " x=" + std::to_string(x) + " y=" + std::to_string(y));
  }
  void Move(TObject* sender, TButtons pressed, Integer x, Integer y) {
    Add(sender, "move pressed=" + Hex(pressed.Bits()) + " x=" + std::to_string(x) +
                    " y=" + std::to_string(y));
  }
  void MoveZ(TObject* sender, TButtons pressed, Integer z) {
    Add(sender, "movez pressed=" + Hex(pressed.Bits()) + " z=" + std::to_string(z));
  }

  // Binds every handler of `joystick` to this recorder.
  void BindAll(TJoystick& joystick) {
    joystick.SetOnButtonDown(TButtonDownEvent::Bind<&TEventRecorder::ButtonDown>(this));
    joystick.SetOnButtonUp(TButtonUpEvent::Bind<&TEventRecorder::ButtonUp>(this));
    joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(this));
    joystick.SetOnMoveZ(TMoveZEvent::Bind<&TEventRecorder::MoveZ>(this));
  }

 private:
  static std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
  }
  void Add(TObject* sender, std::string line) {
    LastSender = sender;
    Lines.push_back(std::move(line));
  }
};

}  // namespace vorlane::Joystick::testing
