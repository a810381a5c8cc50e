// The evdev and replay backends inside the joystick service, seen through the
// joystick API: capabilities, readings, unplug and replug with the same number,
// a new device on the lowest free number, recordings from the environment and
// recordings attached at run time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "EvdevTestSupport.hpp"
#include "ServiceFixture.hpp"
#include "joystick/Service.hpp"
#include "joystick/evdev/EvdevDriver.hpp"
#include "vorlane/Evdev.hpp"
#include "vorlane/joystickapi.h"

namespace vorlane::EvdevTest {
namespace {

// The backends report on their own threads: wait until the service shows it.
bool Eventually(const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

MMRESULT Position(UINT id, JOYINFOEX& info, DWORD flags = JOY_RETURNALL) {
  info = JOYINFOEX{};
  info.dwSize = sizeof info;
  info.dwFlags = flags;
  return joyGetPosEx(id, &info);
}

std::u16string NameOf(UINT id) {
  JOYCAPSW caps{};
  if (joyGetDevCapsW(id, &caps, sizeof caps) != JOYERR_NOERROR) return u"(none)";
  return System::StrFromUnits(caps.szPname, MAXPNAMELEN);
}

TFakeKernelIo::TFactory Pad(const char* uniq) {
  return [uniq] { return Xbox360Pad().Uniq(uniq).Take(); };
}

// Backends are attached by each test itself, to the hermetic service.
using TServiceFixture = vorlane::testing::THermeticServiceTest;

TEST_F(TServiceFixture, KernelDevicesThroughTheApi) {
  auto owned = std::make_unique<TFakeKernelIo>();
  TFakeKernelIo& io = *owned;
  io.AddNode("event3", Pad("A"));
  TJoystickDriver* driver = JoystickService::AttachDriver(CreateEvdevDriver(std::move(owned)));
  ASSERT_NE(driver, nullptr);

  JOYCAPSW caps{};
  ASSERT_EQ(joyGetDevCapsW(0, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wMid, 0x045e);
  EXPECT_EQ(caps.wPid, 0x028e);
  EXPECT_EQ(System::StrFromUnits(caps.szPname, MAXPNAMELEN), u"Microsoft X-Box 360 pad");
  EXPECT_EQ(caps.wNumAxes, 5u);  // both triggers share Z
  EXPECT_EQ(caps.wMaxAxes, 6u);
  EXPECT_EQ(caps.wNumButtons, 11u);
  EXPECT_EQ(caps.wMaxButtons, 32u);
  EXPECT_EQ(caps.wCaps,
            JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASPOV | JOYCAPS_POV4DIR);
  EXPECT_EQ(System::StrFromUnits(caps.szRegKey, MAXPNAMELEN), u"/dev/input/event3");
  EXPECT_EQ(System::StrFromUnits(caps.szOEMVxD, MAX_JOYSTICKOEMVXDNAME),
            u"evdev /dev/input/event3");

  io.Send("event3", {Event(EV_ABS, ABS_X, 32767), Event(EV_ABS, ABS_HAT0X, 1),
                     Event(EV_ABS, ABS_HAT0Y, 1), Event(EV_KEY, BTN_EAST, 1), Report()});
  JOYINFOEX info;
  ASSERT_TRUE(Eventually([&] { return Position(0, info) == 0 && info.dwXpos == 65535; }));
  EXPECT_EQ(info.dwYpos, 32768u);  // resting stick, calibrated
  EXPECT_EQ(info.dwButtons, 2u);
  EXPECT_EQ(info.dwButtonNumber, 1u);
  EXPECT_EQ(info.dwPOV, 13500u);
  ASSERT_EQ(Position(0, info, JOY_RETURNALL | JOY_RETURNCENTERED), 0u);
  EXPECT_EQ(info.dwYpos, 32767u);
  ASSERT_EQ(Position(0, info, JOY_RETURNALL | JOY_RETURNRAWDATA), 0u);
  EXPECT_EQ(info.dwXpos, 65535u);
  EXPECT_EQ(info.dwZpos, 255u);  // triggers at rest: the middle of -255..255

  io.PlugIn("event4", Pad("B"));
  ASSERT_TRUE(Eventually([&] { return Position(1, info) == 0; }));

  // Unplugged: the number answers JOYERR_UNPLUGGED and is kept.
  io.Unplug("event3");
  ASSERT_TRUE(Eventually([&] { return Position(0, info) == JOYERR_UNPLUGGED; }));
  EXPECT_EQ(Position(1, info), 0u);

  // A new device takes the lowest free number, not the kept one.
  io.PlugIn("event5", Pad("C"));
  ASSERT_TRUE(Eventually([&] { return Position(2, info) == 0; }));
  EXPECT_EQ(Position(0, info), JOYERR_UNPLUGGED);

  // The same device returns (on another node): its old number again.
  io.PlugIn("event6", Pad("A"));
  ASSERT_TRUE(Eventually([&] { return Position(0, info) == 0; }));
  EXPECT_EQ(Position(3, info), JOYERR_UNPLUGGED);

  ASSERT_TRUE(JoystickService::DetachDriver(driver));
  for (UINT id = 0; id < 3; ++id) EXPECT_EQ(Position(id, info), JOYERR_UNPLUGGED);
}

TEST_F(TServiceFixture, RecordingsFromTheEnvironmentComeFirstInListOrder) {
  const std::string list =
      DataPath("joystick-2axis.evemu") + "::" + DataPath("gamepad-xbox360.evemu");
  ::setenv("VORLANE_JOYSTICK_DEVICES", list.c_str(), 1);
  JoystickService::ResetForTesting();
  EXPECT_EQ(NameOf(0), u"DragonRise Inc.   Generic   USB");  // cut to fit with its zero
  EXPECT_EQ(NameOf(1), u"Microsoft X-Box 360 pad");
  EXPECT_EQ(NameOf(2), u"(none)");
  // The gamepad plays its recording: button A goes down and up again, and the
  // stick comes back to the middle.
  JOYINFOEX info;
  ASSERT_TRUE(Eventually([&] { return Position(1, info) == 0 && info.dwPOV == 4500; }));
  ASSERT_TRUE(Eventually([&] { return Position(1, info) == 0 && info.dwPOV == 65535; }));
  EXPECT_EQ(info.dwXpos, 32768u);
  EXPECT_EQ(info.dwButtons, 0u);
}

TEST_F(TServiceFixture, AMalformedRecordingIsReportedAndLeftOut) {
  const std::string bad = ::testing::TempDir() + "vorlane-evdev-bad.evemu";
  {
    std::ofstream out(bad);
    out << "# EVEMU 1.3\nN: Broken\nI: 0003 zzzz 0001 0001\n";
  }
  ::setenv("VORLANE_JOYSTICK_DEVICES", bad.c_str(), 1);
  ::testing::internal::CaptureStderr();
  JoystickService::ResetForTesting();
  JoystickService::Start();
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(bad + ":3: expected \"I: <bustype>"), std::string::npos) << said;
  EXPECT_EQ(joyGetNumDevs(), 16u);
  JOYINFOEX info;
  EXPECT_EQ(Position(0, info), JOYERR_UNPLUGGED);
  std::remove(bad.c_str());
}

TEST_F(TServiceFixture, RecordingsAttachedAtRunTime) {
  Evdev::TAttachedRecording stick = Evdev::AttachRecording(DataPath("flightstick-extreme3d.evemu"));
  Evdev::TAttachedRecording box = Evdev::AttachRecording(DataPath("buttonbox-44.evemu"));
  EXPECT_TRUE(stick.IsAttached());
  EXPECT_EQ(stick.GetController(), 0);
  EXPECT_EQ(box.GetController(), 1);
  EXPECT_EQ(NameOf(1), u"Leo Bodnar BU0836X Interface");
  JOYCAPSW caps{};
  ASSERT_EQ(joyGetDevCapsW(0, &caps, sizeof caps), 0u);
  EXPECT_EQ(caps.wCaps, JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASPOV | JOYCAPS_POV4DIR);
  EXPECT_EQ(System::StrFromUnits(caps.szRegKey, MAXPNAMELEN), u"flightstick-extreme3d.evemu");

  // Moving the handle moves the attachment; detaching unplugs the controller.
  Evdev::TAttachedRecording moved = std::move(stick);
  EXPECT_FALSE(stick.IsAttached());
  JOYINFOEX info;
  EXPECT_EQ(Position(0, info), 0u);
  moved.Detach();
  EXPECT_EQ(Position(0, info), JOYERR_UNPLUGGED);
  EXPECT_EQ(Position(1, info), 0u);
  {
    Evdev::TAttachedRecording again = Evdev::AttachRecording(DataPath("wheel-pedals.evemu"));
    EXPECT_EQ(again.GetController(), 0);  // the number was freed
  }
  EXPECT_EQ(Position(0, info), JOYERR_UNPLUGGED);

  EXPECT_THROW(Evdev::AttachRecording(DataPath("nothing-here.evemu")), Evdev::ERecordingError);
}

}  // namespace
}  // namespace vorlane::EvdevTest
