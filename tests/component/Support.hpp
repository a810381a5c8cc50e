// Shared fixtures of the component tests: a hermetic service with virtual
// controllers only, message pumping, and a recorder for the four events.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "joystick/Service.hpp"
#include "vorlane/Joystick.hpp"
#include "vorlane/Messages.hpp"
#include "vorlane/VirtualJoystick.hpp"

namespace vorlane::Joystick::testing {

using VirtualJoystick::TAxis;
using VirtualJoystick::TServiceCall;

class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VORLANE_JOYSTICK_BACKENDS", "virtual", 1);
    unsetenv("VORLANE_JOYSTICK_DEVICES");
    JoystickService::ResetForTesting();
  }
  void TearDown() override { Pump(0); }

  // Handles messages for `ms` milliseconds (at least one pass).
  static void Pump(int ms) {
    auto& loop = Messages::TThreadLoop::Current();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      loop.HandleMessage(left.count() > 0 ? static_cast<int>(left.count()) : 0);
    } while (std::chrono::steady_clock::now() < end);
  }

  // Handles messages until `done()` or two seconds have passed.
  template <class Pred>
  static bool PumpUntil(Pred done, int timeoutMs = 2000) {
    auto& loop = Messages::TThreadLoop::Current();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      loop.HandleMessage(10);
    }
    return true;
  }

  // The calls of kind `call` in the log.
  static std::vector<VirtualJoystick::TCallRecord> CallsOf(TServiceCall call) {
    std::vector<VirtualJoystick::TCallRecord> result;
    for (const auto& r : VirtualJoystick::GetCallLog())
      if (r.Call == call) result.push_back(r);
    return result;
  }

  // The names of the calls in the log, in order, e.g. "joyReleaseCapture(0)".
  static std::vector<std::string> CallTrail() {
    std::vector<std::string> result;
    for (const auto& r : VirtualJoystick::GetCallLog())
      result.push_back(std::string(VirtualJoystick::GetCallName(r.Call)) + "(" +
                       std::to_string(r.Controller) + ")");
    return result;
  }

  VirtualJoystick::TTestScope FScope;
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
