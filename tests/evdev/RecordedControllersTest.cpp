// Controllers recorded from their drivers' own tables (tests/evdev/data, written by
// make-recordings.py): each recording moves one input at a time, and each move must
// land on the slot, in the direction and on the button number Windows shows for the
// same controller.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EvdevTestSupport.hpp"
#include "joystick/Scaling.hpp"
#include "joystick/evdev/EvemuReader.hpp"
#include "vorlane/Evdev.hpp"

namespace vorlane::EvdevTest {
namespace {

constexpr char Slots[] = "XYZRUV";

// What each move did, e.g. "R-" (R toward its minimum), "b3" (button 3 pressed),
// "pov9000"; moves are the reports after the first (at rest), every other one (the
// others return to rest).
std::vector<std::string> Moves(const std::string& file, const TMappingOptions& options = {}) {
  TRecording r = ReadRecording(DataPath(file));
  const TDeviceMapping m = MapDevice(r.Device.get(), options);
  TStateTracker t(m, r.Device.get());
  std::vector<std::string> moves;
  TDeviceState before = t.Current();
  int report = 0;
  for (const TRecordedEvent& e : r.Events) {
    t.Apply(e.Type, e.Code, e.Value);
    if (e.Type != EV_SYN) continue;
    const TDeviceState& now = t.Current();
    if (report % 2 == 1) {
      std::string move;
      for (int a = 0; a < AxisCount; ++a) {
        const auto was = Scaling::Calibrated(m.Info.Axes[a], before.Axes[a]);
        const auto is = Scaling::Calibrated(m.Info.Axes[a], now.Axes[a]);
        if (is != was) move += std::string(1, Slots[a]) + (is > was ? "+" : "-");
      }
      for (int b = 0; b < 32; ++b)
        if ((now.Buttons & ~before.Buttons) & (1u << b)) {
          // Appended piece by piece: g++ 12 at -O3 misreads `literal + temporary`
          // as an overlapping copy (-Wrestrict).
          move += 'b';
          move += std::to_string(b + 1);
        }
      if (now.Pov != before.Pov) {
        move += "pov";
        move += std::to_string(now.Pov);
      }
      if (move.empty()) move = now.ButtonsHeld > before.ButtonsHeld ? "beyond 32" : "nothing";
      moves.push_back(move);
    }
    before = now;
    ++report;
  }
  return moves;
}

using V = std::vector<std::string>;
const V PadButtons = {"b1", "b2", "b3",  "b4",  "b5",  "b6", "b7",
                      "b8", "b9", "b10", "b11", "b12", "b13"};

TEST(RecordedControllers, XboxPadsLookTheSameOverUsbAndBluetooth) {
  // Left stick right and up, right stick right (U) and up (R), left trigger toward Z's
  // maximum, right trigger toward its minimum, the hat, then A, B, X, Y, LB, RB,
  // Back, Start, guide (button 11, after the sticks' 9 and 10), LS, RS.
  const V expected = {"X+", "Y-", "U+", "R-", "Z+", "Z-", "pov0", "pov9000", "b1", "b2",
                      "b3", "b4", "b5", "b6", "b7", "b8", "b11",  "b9",      "b10"};
  EXPECT_EQ(Moves("xbox-one-xpad.evemu"), expected);
  EXPECT_EQ(Moves("xbox-bluetooth-hid.evemu"), expected);

  TRecording usb = ReadRecording(DataPath("xbox-one-xpad.evemu"));
  const TDeviceMapping m = MapDevice(usb.Device.get());
  EXPECT_EQ(m.Family, TFamily::Xbox);
  EXPECT_FALSE(m.Info.Axes[5].Present);  // no V
  EXPECT_EQ(m.Info.Axes[2].Rest, 0);     // both triggers released: centred
  EXPECT_EQ(FeedName(m, 2), "ABS_Z-ABS_RZ");
  EXPECT_EQ(
      MapDevice(ReadRecording(DataPath("xbox-bluetooth-hid.evemu")).Device.get()).Info.ButtonCount,
      11u);  // the descriptor's unused slots and KEY_BACK are no buttons
}

TEST(RecordedControllersOption, SeparateTriggersPutTheRightOneOnV) {
  const V moves = Moves("xbox-one-xpad.evemu", TMappingOptions{true});
  ASSERT_GE(moves.size(), 6u);
  EXPECT_EQ(moves[4], "Z+");
  EXPECT_EQ(moves[5], "V+");
  EXPECT_EQ(moves[3], "R-");  // the sticks stay where they were
}

TEST(RecordedControllers, SonyPadsKeepTheirHidOrderUnderEveryDriver) {
  // Left stick, right stick on Z/R, R2 on U, L2 on V; Square, Cross, Circle, Triangle,
  // L1, R1, L2, R2, Share, Options, L3, R3, PS.
  V expected = {"X+", "Y-", "Z+", "R-", "U+", "V+", "pov0", "pov9000"};
  expected.insert(expected.end(), PadButtons.begin(), PadButtons.end());
  EXPECT_EQ(Moves("dualshock4-playstation.evemu"), expected);
  EXPECT_EQ(Moves("dualsense-playstation.evemu"), expected);
  EXPECT_EQ(Moves("dualshock4-generic.evemu"), expected);
}

TEST(RecordedControllers, SwitchProControllerInItsHidOrder) {
  // B, A, Y, X, L, R, ZL, ZR, Minus, Plus, LS, RS, Home, Capture.
  V expected = {"X+", "Y-", "Z+", "R-", "pov0", "pov9000"};
  expected.insert(expected.end(), PadButtons.begin(), PadButtons.end());
  expected.push_back("b14");
  EXPECT_EQ(Moves("switch-pro-nintendo.evemu"), expected);
}

TEST(RecordedControllers, SticksWheelsAndPedalsLoseNoAxis) {
  // Throttle (Slider) on Z, twist (Rz) on R, the rocker (Dial) on U.
  EXPECT_EQ(Moves("flightstick-rudder-throttle.evemu"),
            (V{"X-", "Y+", "R+", "Z-", "U-", "pov0", "pov9000", "b1", "b16"}));
  // Steering on X, accelerator on Y, clutch on Z, brake on R.
  EXPECT_EQ(Moves("wheel-three-pedals.evemu"), (V{"X-", "Y+", "Z+", "R+", "b1"}));
  EXPECT_EQ(Moves("pedals-no-buttons.evemu"), (V{"X+", "Y+", "R-"}));
}

TEST(RecordedControllers, ReplaysStartAtTheControllersOwnRest) {
  // Each recording's first report holds the controller untouched: a replay must
  // start there already (sticks centred, triggers and pedals released), not at 0.
  for (const char* file :
       {"xbox-one-xpad.evemu", "xbox-bluetooth-hid.evemu", "dualshock4-playstation.evemu",
        "dualsense-playstation.evemu", "dualshock4-generic.evemu", "switch-pro-nintendo.evemu",
        "flightstick-rudder-throttle.evemu", "wheel-three-pedals.evemu",
        "pedals-no-buttons.evemu"}) {
    TRecording r = ReadRecording(DataPath(file));
    const TDeviceMapping m = MapDevice(r.Device.get());
    SetStartValues(r.Device.get(), m, StartValuesOf(r, m));
    TStateTracker t(m, r.Device.get());
    const TDeviceState start = t.Current();
    for (const TRecordedEvent& e : r.Events) {
      t.Apply(e.Type, e.Code, e.Value);
      if (e.Type == EV_SYN) break;
    }
    for (int a = 0; a < AxisCount; ++a)
      EXPECT_NEAR(start.Axes[a], t.Current().Axes[a], 1) << file << " slot " << Slots[a];
  }
}

TEST(RecordedControllers, WhichNodesAreControllers) {
  TRecording pedals = ReadRecording(DataPath("pedals-no-buttons.evemu"));
  EXPECT_TRUE(ClassifyNode(pedals.Device.get()).Controller);
  TRecording keyboard = ReadRecording(DataPath("keyboard-one-joystick-key.evemu"));
  const TNodeClass k = ClassifyNode(keyboard.Device.get());
  EXPECT_FALSE(k.Controller);
  EXPECT_EQ(k.Reason, "mainly a keyboard (57 keyboard keys, 1 joystick button)");
  try {
    ReadControllerRecording(DataPath("keyboard-one-joystick-key.evemu"));
    ADD_FAILURE() << "a keyboard was accepted";
  } catch (const Evdev::ERecordingError& e) {
    EXPECT_NE(e.GetFound().find("mainly a keyboard"), std::string::npos) << e.GetFound();
  }
}

TEST(RecordedControllers, WhatDoesNotFitIsNamed) {
  TDeviceBuilder b("Cockpit", 0x1209, 0x5703);
  b.Keys(BTN_TRIGGER_HAPPY1, BTN_TRIGGER_HAPPY30).Keys(BTN_0, BTN_3);
  for (unsigned code : {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ, ABS_THROTTLE, ABS_HAT0X,
                        ABS_HAT0Y, ABS_HAT1X, ABS_HAT1Y})
    b.Axis(code, -1, 1);
  const TDeviceMapping m = MapDevice(b.Get());
  // U takes the Slider before Ry; the device's own first buttons (BTN_0..) are kept.
  EXPECT_EQ(m.ButtonCodes.front(), BTN_0);
  EXPECT_EQ(LeftOutLines(m), (V{"more than 6 axes: ABS_RY", "a second hat: ABS_HAT1X ABS_HAT1Y",
                                "more than 32 buttons: BTN_TRIGGER_HAPPY29 BTN_TRIGGER_HAPPY30"}));
}

}  // namespace
}  // namespace vorlane::EvdevTest
