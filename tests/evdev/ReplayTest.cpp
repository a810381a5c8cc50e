// Recordings replayed as controllers: what the driver reports, in what order and
// at what pace.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "EvdevTestSupport.hpp"
#include "joystick/evdev/EvdevDriver.hpp"
#include "joystick/evdev/ReplayDriver.hpp"
#include "vorlane/Evdev.hpp"

namespace vorlane::EvdevTest {
namespace {

using TKind = TRecordingHost::TKind;
using Clock = std::chrono::steady_clock;

TEST(Replay, DueTimesNeverOverflowTheClock) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(ReplayDueTime(start, 0), start);
  EXPECT_EQ(ReplayDueTime(start, 1500), start + std::chrono::microseconds(1500));
  EXPECT_EQ(ReplayDueTime(start, MaxRecordedTime), start + std::chrono::seconds(1000000000));
  // Beyond what the clock holds: never due, rather than due in the past.
  EXPECT_EQ(ReplayDueTime(start, INT64_MAX), Clock::time_point::max());
  EXPECT_EQ(ReplayDueTime(Clock::time_point::max() - std::chrono::microseconds(10), 11),
            Clock::time_point::max());
}

TEST(Replay, PlaysARecordingAsAController) {
  const std::string path = DataPath("gamepad-xbox360.evemu");
  TRecordingHost host;  // outlives the driver, whose thread calls it
  auto driver = CreateReplayDriver({path});
  auto& replay = static_cast<TReplayDriver&>(*driver);
  EXPECT_STREQ(driver->Name(), "replay");
  const auto opened = Clock::now();
  driver->Open(host);

  const auto added = host.CallsOf(TKind::Added);
  ASSERT_EQ(added.size(), 1u);
  const TDeviceInfo& info = added[0].Device->Info();
  EXPECT_EQ(info.Name, u"Microsoft X-Box 360 pad");
  EXPECT_EQ(info.Vendor, 0x045e);
  EXPECT_EQ(info.Identity, "evemu:" + path);
  EXPECT_EQ(info.RegKey, u"gamepad-xbox360.evemu");
  EXPECT_EQ(info.Driver, System::Utf8ToString("evemu replay " + path));
  EXPECT_EQ(replay.Numbers(), std::vector<int>{0});

  ASSERT_TRUE(replay.WaitUntilFinished(std::chrono::seconds(10)));
  // Never early: the last event was recorded 64 ms after the first.
  EXPECT_GE(Clock::now() - opened, std::chrono::milliseconds(64));

  // One update per SYN_REPORT, in recorded order.
  const auto changes = host.CallsOf(TKind::Changed);
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[0].State.Axes[0], 12000);
  EXPECT_EQ(changes[0].State.Axes[1], -8000);
  EXPECT_EQ(changes[1].State.Buttons, 1u);
  EXPECT_EQ(changes[1].State.ButtonsHeld, 1u);
  EXPECT_EQ(changes[2].State.Pov, 4500u);
  EXPECT_EQ(changes[3].State.Axes[2], 255 - 128);  // both triggers on Z, the left one deeper
  EXPECT_EQ(changes[4].State.Buttons, 0u);
  EXPECT_EQ(changes[4].State.Pov, PovCentered);
  EXPECT_EQ(changes[4].State.Axes[0], 0);

  // Over, but still attached at its last reading.
  EXPECT_EQ(host.Count(TKind::Removed), 0u);
  driver->Close();
  EXPECT_EQ(host.Count(TKind::Removed), 1u);
  driver->Close();
  EXPECT_EQ(host.Count(TKind::Removed), 1u);
}

TEST(Replay, SeveralRecordingsAreNumberedInListOrderAndPlayTogether) {
  const std::vector<std::string> paths = {
      DataPath("wheel-pedals.evemu"), DataPath("joystick-2axis.evemu"),
      DataPath("buttonbox-44.evemu"), DataPath("flightstick-extreme3d.evemu")};
  TRecordingHost host;  // outlives the driver, whose thread calls it
  auto driver = CreateReplayDriver(paths);
  auto& replay = static_cast<TReplayDriver&>(*driver);
  driver->Open(host);
  const auto added = host.CallsOf(TKind::Added);
  ASSERT_EQ(added.size(), 4u);
  EXPECT_EQ(added[0].Device->Info().Name, u"Generic Racing Wheel");
  EXPECT_EQ(added[3].Device->Info().Name, u"Logitech Extreme 3D");
  EXPECT_EQ(replay.Numbers(), (std::vector<int>{0, 1, 2, 3}));
  ASSERT_TRUE(replay.WaitUntilFinished(std::chrono::seconds(10)));

  auto last = [&](TJoystickDevice* device) {
    TDeviceState state;
    device->ReadState(state);
    return state;
  };
  // The wheel went left with some gas, right, braked, shifted up, then back to rest
  // (its first report, of the wheel at 0, changed nothing and is no update).
  std::vector<TDeviceState> wheel;
  for (const auto& call : host.CallsOf(TKind::Changed))
    if (call.Device == added[0].Device) wheel.push_back(call.State);
  ASSERT_EQ(wheel.size(), 5u);
  EXPECT_EQ(wheel[0].Axes[0], -256);
  EXPECT_EQ(wheel[0].Axes[1], 200);
  EXPECT_EQ(wheel[1].Axes[0], 511);
  EXPECT_EQ(wheel[2].Axes[3], 255);       // the brake on R
  EXPECT_EQ(wheel[3].Buttons, 1u << 13);  // BTN_GEAR_UP is button 14
  EXPECT_EQ(last(added[0].Device).Buttons, 0u);

  // The button box pressed BTN_TRIGGER_HAPPY17 (button 37, counted, beyond the word),
  // BTN_3 (button 4) and BTN_TRIGGER (button 5).
  std::vector<TDeviceState> box;
  for (const auto& call : host.CallsOf(TKind::Changed))
    if (call.Device == added[2].Device) box.push_back(call.State);
  // Its first report, of the stick centred, is where the replay starts: no update.
  ASSERT_EQ(box.size(), 4u);
  EXPECT_EQ(box[0].Buttons, 0u);
  EXPECT_EQ(box[0].ButtonsHeld, 1u);
  EXPECT_EQ(box[2].Buttons, 0x18u);
  EXPECT_EQ(box[2].ButtonsHeld, 3u);
  EXPECT_EQ(box[3].ButtonsHeld, 0u);

  // The flight stick ends with the stick right and the throttle closed.
  EXPECT_EQ(last(added[3].Device).Axes[0], 1023);
  EXPECT_EQ(last(added[3].Device).Axes[2], 0);
  driver->Close();
  EXPECT_EQ(host.Count(TKind::Removed), 4u);
}

TEST(Replay, CloseDoesNotWaitForTheRecording) {
  const std::string path = ::testing::TempDir() + "vorlane-evdev-slow.evemu";
  {
    std::ofstream out(path);
    out << "# EVEMU 1.3\nN: Slow\nI: 0003 0001 0002 0001\n"
           "B: 01 00 00 00 00 00 00 00 00\nB: 01 00 00 00 00 00 00 00 00\n"
           "B: 01 00 00 00 00 00 00 00 00\nB: 01 00 00 00 00 00 00 00 00\n"
           "B: 01 00 00 00 00 01 00 00 00\n"  // BTN_TRIGGER
           "E: 0.000000 0001 0120 1\nE: 0.000000 0000 0000 0\n"
           "E: 3600.000000 0001 0120 0\nE: 3600.000000 0000 0000 0\n";
  }
  TRecordingHost host;  // outlives the driver, whose thread calls it
  auto driver = CreateReplayDriver({path});
  driver->Open(host);
  ASSERT_TRUE(host.WaitFor(TKind::Changed, 1));
  EXPECT_FALSE(static_cast<TReplayDriver&>(*driver).Finished());
  driver->Close();  // would take an hour if it waited
  EXPECT_EQ(host.Count(TKind::Changed), 1u);
  EXPECT_EQ(host.Count(TKind::Removed), 1u);
  std::remove(path.c_str());
}

TEST(Replay, AxesStartWhereTheRecordingSaysElseAtRest) {
  // A 0..255 stick whose start is listed, one listed at 0 (what the kernel holds
  // before a device's first report, so no position), one not listed, and a pedal.
  const std::string path = ::testing::TempDir() + "vorlane-evdev-start.evemu";
  {
    std::ofstream out(path);
    out << "# EVEMU 1.3\n"
           "#   Event type 3 (EV_ABS)\n"
           "#     Event code 0 (ABS_X)\n#       Value      200\n"
           "#     Event code 1 (ABS_Y)\n#       Value        0\n"
           "#     Event code 9 (ABS_GAS)\n#       Value        0\n"
           "N: Start Stick\nI: 0003 0001 0002 0001\n"
           "B: 01 00 00 00 00 00 00 00 00\nB: 01 00 00 00 00 00 00 00 00\n"
           "B: 01 00 00 00 00 00 00 00 00\nB: 01 00 00 00 00 00 00 00 00\n"
           "B: 01 00 00 00 00 01 00 00 00\n"  // BTN_TRIGGER
           "B: 03 27 02 00 00 00 00 00 00\n"  // ABS_X, ABS_Y, ABS_Z, ABS_RZ (unlisted), ABS_GAS
           "A: 00 0 255 0 0 0\nA: 01 0 255 0 0 0\nA: 02 -512 511 0 0 0\n"
           "A: 05 0 255 0 0 0\nA: 09 0 1023 0 0 0\n"
           "E: 0.000000 0001 0120 1\nE: 0.000000 0000 0000 0\n";
  }
  TRecordingHost host;  // outlives the driver, whose thread calls it
  auto driver = CreateReplayDriver({path});
  driver->Open(host);
  const auto added = host.CallsOf(TKind::Added);
  ASSERT_EQ(added.size(), 1u);
  const auto& device = static_cast<const TMappedDevice&>(*added[0].Device);
  TDeviceState state;
  device.ReadState(state);
  auto at = [&](unsigned code) {
    const int axis = device.Mapping().AxisOfCode[code];
    EXPECT_GE(axis, 0) << code;
    return axis < 0 ? -1 : state.Axes[axis];
  };
  EXPECT_EQ(at(ABS_X), 200);
  EXPECT_EQ(at(ABS_Y), 127);
  EXPECT_EQ(at(ABS_Z), 0);  // a centred axis listed nowhere: its middle is 0
  EXPECT_EQ(at(ABS_RZ), 127);
  EXPECT_EQ(at(ABS_GAS), 0);  // a pedal rests released
  // The first recorded event is reported, not taken as the start.
  ASSERT_TRUE(host.WaitFor(TKind::Changed, 1));
  driver->Close();
  std::remove(path.c_str());
}

TEST(Replay, ABadRecordingMakesNoDriver) {
  try {
    CreateReplayDriver({DataPath("joystick-2axis.evemu"), DataPath("missing.evemu")});
    FAIL() << "made a driver";
  } catch (const Evdev::ERecordingError& e) {
    EXPECT_EQ(e.GetFileName(), DataPath("missing.evemu"));
  }
}

}  // namespace
}  // namespace vorlane::EvdevTest
