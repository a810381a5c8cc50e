// Virtual controllers as their users see them, and the test aids of the service:
// fault injection and the call log.
#include <functional>
#include <string>

#include "ServiceSupport.hpp"

namespace vorlane::JoystickServiceTests {
namespace {

using VirtualTest = ServiceTest;

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVirtualJoystickError& e) {
    return e.what();
  }
  return "(nothing raised)";
}

TEST_F(VirtualTest, BadDescriptionsAreRefusedWithWhatIsWrong) {
  TDescription d;
  d.Name = u"Broken";
  d.WithAxis(TAxis::Z, 10, 10, 10);
  EXPECT_EQ(MessageOf([&] { TVirtualController c(d); }),
            "virtual controller \"Broken\": axis Z: Min (10) must be below Max (10)");
  d.WithAxis(TAxis::Z, 0, 10, 11);
  EXPECT_EQ(MessageOf([&] { TVirtualController c(d); }),
            "virtual controller \"Broken\": axis Z: Rest (11) must lie in [0, 10]");
  d.WithAxis(TAxis::Z);
  d.ButtonCount = MaxButtons + 1;
  EXPECT_EQ(MessageOf([&] { TVirtualController c(d); }),
            "virtual controller \"Broken\": ButtonCount 257 is above the limit of 256");
  // Nothing was attached by the refused descriptions.
  JOYINFO info;
  EXPECT_EQ(joyGetPos(0, &info), JOYERR_UNPLUGGED);
}

TEST_F(VirtualTest, BadChangesAreRefusedAndAFailedBatchChangesNothing) {
  TDescription d;
  d.Name = u"Pad";
  d.ButtonCount = 4;
  d.Hat = THatKind::Discrete;
  TVirtualController pad(d);
  EXPECT_EQ(MessageOf([&] { pad.SetAxis(TAxis::V, 1); }),
            "virtual controller \"Pad\": it has no axis V");
  EXPECT_EQ(MessageOf([&] { pad.SetButton(0, true); }),
            "virtual controller \"Pad\": button 0 does not exist (it has buttons 1 to 4)");
  EXPECT_EQ(MessageOf([&] { pad.SetButton(5, true); }),
            "virtual controller \"Pad\": button 5 does not exist (it has buttons 1 to 4)");
  EXPECT_EQ(MessageOf([&] { pad.SetButtons(0x10); }),
            "virtual controller \"Pad\": the mask names buttons above 4");
  EXPECT_EQ(MessageOf([&] { pad.SetHat(4400); }),
            "virtual controller \"Pad\": hat value 4400 is not one of the eight directions of "
            "a discrete hat (multiples of 4500)");
  EXPECT_EQ(MessageOf([&] { pad.SetHat(36000); }),
            "virtual controller \"Pad\": hat value 36000 is neither an angle 0..35999 nor "
            "PovCentered (65535)");
  TVirtualController noHat;
  EXPECT_EQ(MessageOf([&] { noHat.SetHat(0); }),
            "virtual controller \"Vorlane Virtual Joystick\": it has no hat");
  noHat.SetHat(PovCentered);  // centring a missing hat is harmless

  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  EXPECT_THROW(pad.Update([](TBatch& b) {
    b.SetAxis(TAxis::X, 0);
    b.SetButton(1, true);
    b.SetButton(9, true);
  }),
               EVirtualJoystickError);
  PumpFor(10ms);
  EXPECT_TRUE(window.Received.empty());
  EXPECT_EQ(pad.GetState().Axes[0], 32767);
  EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNBUTTONS, &JOYINFOEX::dwButtons), 0u);
}

TEST_F(VirtualTest, StateStartsAtRestAndBatchesSeeTheirOwnChanges) {
  TDescription d;
  d.WithAxis(TAxis::U, -5, 5, -2);
  d.ButtonCount = 130;
  d.Hat = THatKind::Continuous;
  TVirtualController pad(d);
  const TControllerState start = pad.GetState();
  EXPECT_EQ(start.Axes[static_cast<int>(TAxis::U)], -2);
  EXPECT_EQ(start.Axes[static_cast<int>(TAxis::Z)], 0);  // absent
  EXPECT_EQ(start.Hat, PovCentered);
  pad.Update([](TBatch& b) {
    b.SetButtons(0xFFFFFFFFu);
    b.SetButton(130, true);
    b.SetButton(2, false);
    EXPECT_EQ(b.GetState().Buttons[0], 0xFFFFFFFDu);
    EXPECT_EQ(b.GetState().Buttons[2], 0x2u);
  });
  JOYINFOEX info = InfoEx(JOY_RETURNBUTTONS | JOY_RETURNU | JOY_RETURNRAWDATA);
  ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
  EXPECT_EQ(info.dwButtons, 0xFFFFFFFDu);
  EXPECT_EQ(info.dwButtonNumber, 32u);
  EXPECT_EQ(info.dwUpos, 3u);
}

// --- Fault injection -------------------------------------------------------------------

TEST_F(VirtualTest, ARefusedCallReturnsTheCodeAndTouchesNothing) {
  TVirtualController pad;
  RefuseCall(TServiceCall::GetPosEx, 0, MMSYSERR_NODRIVER, 1);
  JOYINFOEX info = InfoEx(JOY_RETURNALL);
  EXPECT_EQ(joyGetPosEx(0, &info), MMSYSERR_NODRIVER);
  EXPECT_TRUE(SameBytes(info, InfoEx(JOY_RETURNALL)));
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);  // only once

  RefuseCall(TServiceCall::GetDevCaps, 3, JOYERR_PARMS);  // another number: no effect on 0
  JOYCAPSW caps;
  EXPECT_EQ(joyGetDevCapsW(0, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(joyGetDevCapsW(3, &caps, sizeof caps), JOYERR_PARMS);

  RefuseCall(TServiceCall::SetThreshold, AnyController, JOYERR_NOCANDO);
  EXPECT_EQ(joySetThreshold(0, 5), JOYERR_NOCANDO);
  EXPECT_EQ(joySetThreshold(9, 5), JOYERR_NOCANDO);
  UINT threshold = 1;
  EXPECT_EQ(joyGetThreshold(0, &threshold), JOYERR_NOERROR);
  EXPECT_EQ(threshold, 0u);  // the refused calls set nothing

  // A fault is applied before any other check, null records included.
  RefuseCall(TServiceCall::GetPos, AnyController, JOYERR_UNPLUGGED, 2);
  EXPECT_EQ(joyGetPos(0, nullptr), JOYERR_UNPLUGGED);
  EXPECT_EQ(joyGetPos(99, nullptr), JOYERR_UNPLUGGED);
  EXPECT_EQ(joyGetPos(99, nullptr), MMSYSERR_INVALPARAM);

  ClearFaults();
  EXPECT_EQ(joySetThreshold(0, 5), JOYERR_NOERROR);
  EXPECT_EQ(joyGetDevCapsW(3, &caps, sizeof caps), JOYERR_UNPLUGGED);
}

TEST_F(VirtualTest, FaultsForCaptureAndTheCountOfNumbers) {
  TVirtualController pad;
  TRecordingWindow window;
  RefuseCall(TServiceCall::GetNumDevs, AnyController, 0);
  EXPECT_EQ(joyGetNumDevs(), 0u);
  RefuseCall(TServiceCall::SetCapture, 0, JOYERR_NOCANDO, 1);
  RefuseCall(TServiceCall::SetCapture, 0, JOYERR_UNPLUGGED, 1);  // used once the first is spent
  EXPECT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOCANDO);
  EXPECT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_UNPLUGGED);
  EXPECT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  RefuseCall(TServiceCall::ReleaseCapture, 0, JOYERR_PARMS, 1);
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_PARMS);
  // The refused release released nothing.
  TRecordingWindow other;
  EXPECT_EQ(joySetCapture(other.Handle(), 0, 10, TRUE), JOYERR_NOCANDO);
  RefuseCall(TServiceCall::GetPosEx, 0, JOYERR_NOCANDO, 0);  // zero times: nothing
  JOYINFOEX info = InfoEx(JOY_RETURNX);
  EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
}

TEST_F(VirtualTest, TheTestScopeClearsFaultsAndTheLog) {
  TVirtualController pad;
  {
    TTestScope scope;
    RefuseCall(TServiceCall::GetPos, AnyController, JOYERR_NOCANDO);
    StartCallLog();
    JOYINFO info;
    EXPECT_EQ(joyGetPos(0, &info), JOYERR_NOCANDO);
  }
  JOYINFO info;
  EXPECT_EQ(joyGetPos(0, &info), JOYERR_NOERROR);
  EXPECT_TRUE(GetCallLog().empty());
}

// --- Call log ---------------------------------------------------------------------------

TEST_F(VirtualTest, TheCallLogRecordsEveryCallWithItsArgumentsAndResult) {
  TVirtualController pad;
  TRecordingWindow window;
  JOYINFOEX info = InfoEx(JOY_RETURNX | JOY_RETURNRAWDATA);
  JOYCAPSW caps;
  JOYINFO pos;
  UINT threshold = 0;
  joyGetNumDevs();  // before the log: not recorded
  StartCallLog();
  joyGetNumDevs();
  joyGetPos(1, &pos);
  joyGetPosEx(0, &info);
  joyGetPosEx(0, nullptr);
  joyGetDevCapsW(0, &caps, 700);
  joySetThreshold(0, 250);
  joyGetThreshold(0, &threshold);
  joySetCapture(window.Handle(), 0, 40, TRUE);
  joyReleaseCapture(0);
  StopCallLog();
  joyGetNumDevs();  // after the log: not recorded

  const std::vector<TCallRecord> log = GetCallLog();
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[0], (TCallRecord{.Call = TServiceCall::GetNumDevs, .Result = 16}));
  EXPECT_EQ(
      log[1],
      (TCallRecord{.Call = TServiceCall::GetPos, .Controller = 1, .Result = JOYERR_UNPLUGGED}));
  EXPECT_EQ(log[2], (TCallRecord{.Call = TServiceCall::GetPosEx,
                                 .Controller = 0,
                                 .Size = 52,
                                 .Flags = JOY_RETURNX | JOY_RETURNRAWDATA}));
  EXPECT_EQ(log[3], (TCallRecord{.Call = TServiceCall::GetPosEx,
                                 .NullRecord = true,
                                 .Result = MMSYSERR_INVALPARAM}));
  EXPECT_EQ(log[4],
            (TCallRecord{.Call = TServiceCall::GetDevCaps, .Size = 700, .Result = JOYERR_PARMS}));
  EXPECT_EQ(log[5], (TCallRecord{.Call = TServiceCall::SetThreshold, .Threshold = 250}));
  EXPECT_EQ(log[6], (TCallRecord{.Call = TServiceCall::GetThreshold, .Threshold = 250}));
  EXPECT_EQ(log[7], (TCallRecord{.Call = TServiceCall::SetCapture,
                                 .Period = 40,
                                 .Changed = TRUE,
                                 .Window = window.Handle()}));
  EXPECT_EQ(log[8], (TCallRecord{.Call = TServiceCall::ReleaseCapture}));

  EXPECT_EQ(ToString(log[0]), "joyGetNumDevs() = 16");
  EXPECT_EQ(ToString(log[2]), "joyGetPosEx(0, dwSize=52, dwFlags=0x101) = 0");
  EXPECT_EQ(ToString(log[3]), "joyGetPosEx(0, NULL) = 11");
  EXPECT_EQ(ToString(log[4]), "joyGetDevCapsW(0, 700) = 165");
  EXPECT_EQ(ToString(log[6]), "joyGetThreshold(0) = 0, threshold 250");
  EXPECT_EQ(ToString(log[8]), "joyReleaseCapture(0) = 0");

  StartCallLog();  // starts afresh
  EXPECT_TRUE(GetCallLog().empty());
}

TEST_F(VirtualTest, RefusedCallsAreLoggedWithTheirCode) {
  TVirtualController pad;
  RefuseCall(TServiceCall::GetPosEx, AnyController, JOYERR_UNPLUGGED, 1);
  StartCallLog();
  JOYINFOEX info = InfoEx(JOY_RETURNY);
  joyGetPosEx(0, &info);
  joyGetPosEx(0, &info);
  const auto log = GetCallLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Result, JOYERR_UNPLUGGED);
  EXPECT_EQ(log[0].Flags, JOY_RETURNY);
  EXPECT_EQ(log[1].Result, JOYERR_NOERROR);
}

}  // namespace
}  // namespace vorlane::JoystickServiceTests
