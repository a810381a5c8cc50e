// Wine's winmm.dll with no controller: what every joystick call answers.
#include <windows.h>

#include <gtest/gtest.h>
#include <mmsystem.h>

#include <cstring>

#include "Support.hpp"

namespace vorlane::wintest {
namespace {

constexpr UINT kSlots = 16;

TEST(WinmmWithoutDevices, EverySlotAnswersAsEmpty) {
  ASSERT_TRUE(claimWinmmWithoutDevices());
  CaptureWindow window;
  EXPECT_EQ(joyGetNumDevs(), kSlots);
  for (UINT id = 0; id <= kSlots; ++id) {
    SCOPED_TRACE(id);
    JOYINFOEX info = joyInfo();
    EXPECT_EQ(joyGetPosEx(id, &info), JOYERR_PARMS);
    JOYINFO plain{};
    EXPECT_EQ(joyGetPos(id, &plain), JOYERR_PARMS);
    JOYCAPSW caps{};
    EXPECT_EQ(joyGetDevCapsW(id, &caps, sizeof caps), JOYERR_PARMS);
    // An empty slot within range is "unplugged"; past the last slot the id is wrong.
    EXPECT_EQ(joySetCapture(window.handle(), id, 10, TRUE),
              id < kSlots ? JOYERR_UNPLUGGED : JOYERR_PARMS);
  }
}

TEST(WinmmWithoutDevices, CapabilitiesOfTheDriverItself) {
  ASSERT_TRUE(claimWinmmWithoutDevices());
  // The identifier -1 asks for the driver's own record: it names only the
  // registry key.
  JOYCAPSW caps;
  std::memset(&caps, 0xcc, sizeof caps);
  EXPECT_EQ(joyGetDevCapsW(UINT_PTR(-1), &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_STREQ(caps.szRegKey, L"DINPUT.DLL");
  EXPECT_EQ(caps.szPname[0], L'\0');
  EXPECT_EQ(caps.wNumAxes, 0);
  EXPECT_EQ(caps.wMaxButtons, 0);

  JOYCAPS2W caps2{};
  EXPECT_EQ(joyGetDevCapsW(UINT_PTR(-1), reinterpret_cast<JOYCAPSW*>(&caps2), sizeof caps2),
            JOYERR_NOERROR);
  EXPECT_EQ(joyGetDevCapsW(UINT_PTR(-1), &caps, sizeof caps - 1), JOYERR_PARMS);
  EXPECT_EQ(joyGetDevCapsW(0, nullptr, sizeof caps), MMSYSERR_INVALPARAM);
}

TEST(WinmmWithoutDevices, ThresholdsAreKeptForEmptySlots) {
  ASSERT_TRUE(claimWinmmWithoutDevices());
  UINT threshold = 77;
  EXPECT_EQ(joyGetThreshold(3, &threshold), JOYERR_NOERROR);
  EXPECT_EQ(threshold, 0u);
  EXPECT_EQ(joySetThreshold(3, 1200), JOYERR_NOERROR);
  EXPECT_EQ(joyGetThreshold(3, &threshold), JOYERR_NOERROR);
  EXPECT_EQ(threshold, 1200u);
  EXPECT_EQ(joySetThreshold(3, 65535), JOYERR_NOERROR);
  EXPECT_EQ(joySetThreshold(3, 65536), MMSYSERR_INVALPARAM);
  EXPECT_EQ(joySetThreshold(kSlots, 10), MMSYSERR_INVALPARAM);
  EXPECT_EQ(joyGetThreshold(kSlots, &threshold), JOYERR_PARMS);
}

TEST(WinmmWithoutDevices, ParameterChecksComeBeforeTheDevice) {
  ASSERT_TRUE(claimWinmmWithoutDevices());
  EXPECT_EQ(joyGetPosEx(0, nullptr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(joyGetPos(0, nullptr), MMSYSERR_INVALPARAM);
  JOYINFOEX small = joyInfo();
  small.dwSize -= 4;
  EXPECT_EQ(joyGetPosEx(0, &small), JOYERR_PARMS);
  EXPECT_EQ(joySetCapture(nullptr, 0, 10, TRUE), JOYERR_PARMS);
  // Releasing a capture that does not exist succeeds; only a wrong id fails.
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  EXPECT_EQ(joyReleaseCapture(kSlots), JOYERR_PARMS);
}

TEST(WinmmWithoutDevices, AnUnreadableScriptLeavesEverySlotEmpty) {
  const char script[] = "device 0\naxis X 0 10\nat 5 ms set X 11\n";
  ASSERT_TRUE(claimWinmm(script));
  JOYCAPSW caps{};
  std::string error =
      captureStderr([&] { EXPECT_EQ(joyGetDevCapsW(0, &caps, sizeof caps), JOYERR_PARMS); });
  EXPECT_NE(error.find(":3: the axis value must lie from 0 to 10, found 11"), std::string::npos)
      << error;
  JOYINFOEX info = joyInfo();
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_PARMS);
}

}  // namespace
}  // namespace vorlane::wintest
