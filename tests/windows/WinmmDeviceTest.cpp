// Wine's winmm.dll over scripted controllers: capabilities, positions, and the
// MM_JOY* messages of a capture. Values are in winmm's units: DirectInput's
// default range 0 to 65535, into which the stand-in scales each axis' own range.
#include <windows.h>

#include <gtest/gtest.h>
#include <mmsystem.h>

#include <cstring>

#include "Support.hpp"

namespace vorlane::wintest {
namespace {

constexpr DWORD kCentre = 32767;
constexpr DWORD kTop = 65535;

JOYINFOEX position(UINT id, DWORD flags = JOY_RETURNALL) {
  JOYINFOEX info = joyInfo(flags);
  EXPECT_EQ(joyGetPosEx(id, &info), JOYERR_NOERROR);
  return info;
}

// Reads positions (dispatching messages meanwhile) until `done` holds.
bool waitForPosition(UINT id, const std::function<bool(const JOYINFOEX&)>& done) {
  return pumpUntil([&] {
    JOYINFOEX info = joyInfo();
    return joyGetPosEx(id, &info) == JOYERR_NOERROR && done(info);
  });
}

TEST(WinmmWithDevices, CapabilitiesOfScriptedDevices) {
  ASSERT_TRUE(claimWinmm(kFlightStick));
  JOYCAPSW caps;
  std::memset(&caps, 0xcc, sizeof caps);
  ASSERT_EQ(joyGetDevCapsW(0, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wMid, 0x045e);
  EXPECT_EQ(caps.wPid, 0x0007);
  // winmm names every device after itself, whatever the product is called.
  EXPECT_STREQ(caps.szPname, L"Wine joystick driver");
  EXPECT_STREQ(caps.szRegKey, L"DINPUT.DLL");
  EXPECT_STREQ(caps.szOEMVxD, L"");
  for (auto [min, max] : {std::pair{caps.wXmin, caps.wXmax},
                          {caps.wYmin, caps.wYmax},
                          {caps.wZmin, caps.wZmax},
                          {caps.wRmin, caps.wRmax},
                          {caps.wUmin, caps.wUmax},
                          {caps.wVmin, caps.wVmax}}) {
    EXPECT_EQ(min, 0u);
    EXPECT_EQ(max, kTop);
  }
  EXPECT_EQ(caps.wNumButtons, 12u);
  EXPECT_EQ(caps.wMaxButtons, 32u);
  EXPECT_EQ(caps.wNumAxes, 6u);  // seven axes, at most six counted
  EXPECT_EQ(caps.wMaxAxes, 6u);
  EXPECT_EQ(caps.wPeriodMin, 10u);
  EXPECT_EQ(caps.wPeriodMax, 1000u);
  EXPECT_EQ(caps.wCaps, JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASV | JOYCAPS_HASPOV |
                            JOYCAPS_POV4DIR);

  ASSERT_EQ(joyGetDevCapsW(1, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wMid, 0x1209);
  EXPECT_EQ(caps.wPid, 0x0002);
  EXPECT_EQ(caps.wNumAxes, 2u);
  EXPECT_EQ(caps.wNumButtons, 4u);
  EXPECT_EQ(caps.wCaps, 0u);

  EXPECT_EQ(joyGetDevCapsW(2, &caps, sizeof caps), JOYERR_PARMS);
  JOYINFOEX info = joyInfo();
  EXPECT_EQ(joyGetPosEx(2, &info), JOYERR_PARMS);
}

TEST(WinmmWithDevices, PositionsFollowTheScript) {
  ASSERT_TRUE(claimWinmm(kFlightStick));
  // Axes map as winmm 8 maps them: Rz to R, the first slider to U, Rx to V; Ry
  // is not read.
  JOYINFOEX start = position(0);
  EXPECT_EQ(start.dwXpos, kCentre);
  EXPECT_EQ(start.dwYpos, kCentre);
  EXPECT_EQ(start.dwZpos, kCentre);  // 0 of -100..100
  EXPECT_EQ(start.dwRpos, 0u);
  EXPECT_EQ(start.dwUpos, kTop);
  EXPECT_EQ(start.dwVpos, 16416u);  // 256 of 0..1023: a quarter, from the lower half's scale
  EXPECT_EQ(start.dwPOV, 0xffffu);  // centred
  EXPECT_EQ(start.dwButtons, 0u);
  EXPECT_EQ(start.dwButtonNumber, 0u);

  ASSERT_TRUE(waitForPosition(0, [](const JOYINFOEX& info) { return info.dwXpos == kTop; }));
  JOYINFOEX moved = position(0);
  EXPECT_EQ(moved.dwZpos, 19660u);  // -40 of -100..100
  EXPECT_EQ(moved.dwPOV, 27000u);
  EXPECT_EQ(moved.dwButtons, 0x801u);
  EXPECT_EQ(moved.dwButtonNumber, 2u);

  JOYINFO plain{};
  ASSERT_EQ(joyGetPos(0, &plain), JOYERR_NOERROR);
  EXPECT_EQ(plain.wXpos, kTop);
  EXPECT_EQ(plain.wButtons, 0x801u);

  // The second device did not move.
  EXPECT_EQ(position(1).dwXpos, kCentre);
}

TEST(WinmmWithDevices, OnlyTheRequestedFieldsAreWritten) {
  ASSERT_TRUE(claimWinmm(kFlightStick));
  JOYINFOEX info;
  std::memset(&info, 0xaa, sizeof info);
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNX | JOY_RETURNBUTTONS;
  ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
  EXPECT_EQ(info.dwXpos, kCentre);
  EXPECT_EQ(info.dwButtons, 0u);
  EXPECT_EQ(info.dwYpos, 0xaaaaaaaau);
  EXPECT_EQ(info.dwPOV, 0xaaaaaaaau);
  // winmm takes no notice of the raw-data and centring flags.
  JOYINFOEX raw = position(0, JOY_RETURNALL | JOY_RETURNRAWDATA | JOY_RETURNCENTERED);
  EXPECT_EQ(raw.dwXpos, kCentre);
  EXPECT_EQ(raw.dwRpos, 0u);
}

constexpr char kStill[] = R"(
device 0
axis X 0 1023
axis Y 0 1023 0
axis Z 0 1023 1023
buttons 4
)";

TEST(WinmmCapture, PollingModeSendsEveryPeriod) {
  ASSERT_TRUE(claimWinmm(kStill));
  CaptureWindow window;
  ASSERT_EQ(joySetCapture(window.handle(), 0, 10, FALSE), JOYERR_NOERROR);
  ASSERT_TRUE(
      pumpUntil([&] { return window.count(MM_JOY1MOVE) >= 3 && window.count(MM_JOY1ZMOVE) >= 3; }));
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  for (const JoyMessage& m : window.messages()) {
    ASSERT_TRUE(m.message == MM_JOY1MOVE || m.message == MM_JOY1ZMOVE) << m.message;
    EXPECT_EQ(m.wParam, 0u);
    // Both carry X and Y: winmm's MM_JOY1ZMOVE does not hold Z (65535 here).
    EXPECT_EQ(m.lParam, MAKELONG(kCentre, 0));
  }
}

constexpr char kSmallThenLargeMove[] = R"(
device 0
axis X 0 1023
axis Y 0 1023
axis Z 0 1023
at 300 ms set X 530
at 1300 ms set X 700
)";

TEST(WinmmCapture, ThresholdModeWaitsForAMoveBeyondTheThreshold) {
  ASSERT_TRUE(claimWinmm(kSmallThenLargeMove));
  CaptureWindow window;
  // A threshold set before winmm opens the device is lost when it does.
  UINT threshold = 0;
  ASSERT_EQ(joySetThreshold(0, 2000), JOYERR_NOERROR);
  JOYINFOEX info = joyInfo();
  ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);  // opens the device, starts the script
  EXPECT_EQ(joyGetThreshold(0, &threshold), JOYERR_NOERROR);
  EXPECT_EQ(threshold, 0u);
  ASSERT_EQ(joySetThreshold(0, 2000), JOYERR_NOERROR);
  ASSERT_EQ(joySetCapture(window.handle(), 0, 10, TRUE), JOYERR_NOERROR);
  // 530 of 0..1023 is 33983: 1216 from the centre, within the threshold.
  ASSERT_TRUE(waitForPosition(0, [](const JOYINFOEX& info) { return info.dwXpos == 33983; }));
  EXPECT_TRUE(window.messages().empty());
  ASSERT_TRUE(pumpUntil([&] { return window.count(MM_JOY1MOVE) > 0; }));
  const JoyMessage& move = window.messages().front();
  EXPECT_EQ(move.message, MM_JOY1MOVE);
  EXPECT_EQ(move.wParam, 0u);
  EXPECT_EQ(move.lParam, MAKELONG(44863, kCentre));  // 700 of 0..1023
  EXPECT_EQ(window.count(MM_JOY1ZMOVE), 0u);
  EXPECT_EQ(joyGetThreshold(0, &threshold), JOYERR_NOERROR);
  EXPECT_EQ(threshold, 2000u);
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
}

constexpr char kButtons[] = R"(
device 0
axis X 0 1023
axis Y 0 1023 1023
buttons 4
at 300 ms press button 1
at 700 ms press button 3
at 1100 ms release button 1
at 1500 ms release button 3
)";

TEST(WinmmCapture, ButtonMessagesCarryTheChangedButtons) {
  ASSERT_TRUE(claimWinmm(kButtons));
  CaptureWindow window;
  ASSERT_EQ(joySetCapture(window.handle(), 0, 10, TRUE), JOYERR_NOERROR);
  ASSERT_TRUE(pumpUntil([&] { return window.messages().size() >= 4; }));
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  const LPARAM where = MAKELONG(kCentre, kTop);
  // Changed buttons in bits 8-15; bits 0-7 hold the changed buttons' state
  // before an "up" and after a "down", not every pressed button.
  const std::vector<std::pair<UINT, WPARAM>> expected = {{MM_JOY1BUTTONDOWN, 0x101},
                                                         {MM_JOY1BUTTONDOWN, 0x404},
                                                         {MM_JOY1BUTTONUP, 0x101},
                                                         {MM_JOY1BUTTONUP, 0x404}};
  ASSERT_EQ(window.messages().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(window.messages()[i].message, expected[i].first);
    EXPECT_EQ(window.messages()[i].wParam, expected[i].second);
    EXPECT_EQ(window.messages()[i].lParam, where);
  }
}

TEST(WinmmCapture, ReleaseStopsTheMessagesAndAllowsANewCapture) {
  ASSERT_TRUE(claimWinmm(kStill));
  CaptureWindow window;
  CaptureWindow other;
  ASSERT_EQ(joySetCapture(window.handle(), 0, 10, FALSE), JOYERR_NOERROR);
  ASSERT_TRUE(pumpUntil([&] { return window.count(MM_JOY1MOVE) >= 2; }));
  EXPECT_EQ(joySetCapture(other.handle(), 0, 10, FALSE), JOYERR_NOCANDO);
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  window.clear();
  pumpFor(200ms);  // twenty periods
  EXPECT_TRUE(window.messages().empty());
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);

  // A period below the minimum is raised to it rather than refused.
  ASSERT_EQ(joySetCapture(other.handle(), 0, 0, FALSE), JOYERR_NOERROR);
  ASSERT_TRUE(pumpUntil([&] { return other.count(MM_JOY1MOVE) >= 2; }));
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  EXPECT_TRUE(window.messages().empty());

  // A destroyed window cannot capture.
  HWND gone =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  EXPECT_EQ(joySetCapture(gone, 0, 10, FALSE), JOYERR_NOCANDO);
}

TEST(WinmmCapture, TheSecondDeviceSendsItsOwnMessages) {
  ASSERT_TRUE(claimWinmm(kFlightStick));
  CaptureWindow window;
  ASSERT_EQ(joySetCapture(window.handle(), 1, 10, FALSE), JOYERR_NOERROR);
  ASSERT_TRUE(pumpUntil([&] { return window.count(MM_JOY2MOVE) >= 2; }));
  EXPECT_EQ(joyReleaseCapture(1), JOYERR_NOERROR);
  for (const JoyMessage& m : window.messages()) {
    ASSERT_TRUE(m.message == MM_JOY2MOVE || m.message == MM_JOY2ZMOVE) << m.message;
    EXPECT_EQ(m.lParam, MAKELONG(kCentre, kCentre));
  }
}

constexpr char kUnplugged[] = R"(
device 0
axis X 0 1023
axis Y 0 1023
at 300 ms unplug
)";

TEST(WinmmWithDevices, AnUnpluggedDeviceStopsAnswering) {
  ASSERT_TRUE(claimWinmm(kUnplugged));
  JOYINFOEX info = joyInfo();
  ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
  ASSERT_TRUE(pumpUntil([&] { return joyGetPosEx(0, &info) != JOYERR_NOERROR; }));
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_PARMS);
  CaptureWindow window;
  EXPECT_EQ(joySetCapture(window.handle(), 0, 10, TRUE), JOYERR_UNPLUGGED);
  // winmm keeps the device object, so its capabilities still answer.
  JOYCAPSW caps{};
  EXPECT_EQ(joyGetDevCapsW(0, &caps, sizeof caps), JOYERR_NOERROR);
}

}  // namespace
}  // namespace vorlane::wintest
