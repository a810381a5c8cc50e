// The joy* functions as callers see them: result codes, records, scaling, hat
// values, capabilities, thresholds and numbering, with no controller, one and several.
#include <thread>

#include "Environment.hpp"
#include "ServiceSupport.hpp"

namespace vorlane::JoystickServiceTests {
namespace {

using ApiTest = ServiceTest;

// --- No controller -----------------------------------------------------------------

TEST_F(ApiTest, NoControllerEveryValidNumberIsUnpluggedButKeepsThresholds) {
  EXPECT_EQ(joyGetNumDevs(), 16u);
  TRecordingWindow window;
  for (UINT id = 0; id < 16; ++id) {
    JOYINFO info = Filled<JOYINFO>();
    JOYINFOEX infoEx = InfoEx(JOY_RETURNALL);
    JOYCAPSW caps = Filled<JOYCAPSW>();
    EXPECT_EQ(joyGetPos(id, &info), JOYERR_UNPLUGGED);
    EXPECT_EQ(joyGetPosEx(id, &infoEx), JOYERR_UNPLUGGED);
    EXPECT_EQ(joyGetDevCapsW(id, &caps, sizeof caps), JOYERR_UNPLUGGED);
    EXPECT_EQ(joySetCapture(window.Handle(), id, 10, TRUE), JOYERR_UNPLUGGED);
    EXPECT_EQ(joyReleaseCapture(id), JOYERR_NOERROR);
    UINT threshold = 99;
    EXPECT_EQ(joyGetThreshold(id, &threshold), JOYERR_NOERROR);
    EXPECT_EQ(threshold, 0u);
    EXPECT_TRUE(SameBytes(info, Filled<JOYINFO>()));
    EXPECT_TRUE(SameBytes(infoEx, InfoEx(JOY_RETURNALL)));
    EXPECT_TRUE(SameBytes(caps, Filled<JOYCAPSW>()));
  }
}

TEST_F(ApiTest, NumbersFromSixteenOnAreRefusedByEveryCall) {
  TVirtualController pad;
  TRecordingWindow window;
  for (UINT id : {16u, 17u, 255u, 0x80000000u, 0xFFFFFFFFu}) {
    JOYINFO info = Filled<JOYINFO>();
    JOYINFOEX infoEx = InfoEx(JOY_RETURNALL);
    JOYCAPSW caps = Filled<JOYCAPSW>();
    UINT threshold = 1234;
    EXPECT_EQ(joyGetPos(id, &info), JOYERR_PARMS) << id;
    EXPECT_EQ(joyGetPosEx(id, &infoEx), JOYERR_PARMS) << id;
    if (UINT_PTR{id} != ~UINT_PTR{0}) {  // the registry key's identifier where UINT_PTR is 32 bits
      EXPECT_EQ(joyGetDevCapsW(id, &caps, sizeof caps), JOYERR_PARMS) << id;
    }
    EXPECT_EQ(joyGetThreshold(id, &threshold), JOYERR_PARMS) << id;
    EXPECT_EQ(joySetThreshold(id, 10), JOYERR_PARMS) << id;
    EXPECT_EQ(joySetCapture(window.Handle(), id, 10, TRUE), JOYERR_PARMS) << id;
    EXPECT_EQ(joyReleaseCapture(id), JOYERR_PARMS) << id;
    EXPECT_TRUE(SameBytes(info, Filled<JOYINFO>()));
    EXPECT_TRUE(SameBytes(infoEx, InfoEx(JOY_RETURNALL)));
    EXPECT_TRUE(SameBytes(caps, Filled<JOYCAPSW>()));
    EXPECT_EQ(threshold, 1234u);
  }
  JOYCAPSW caps = Filled<JOYCAPSW>();
  EXPECT_EQ(joyGetDevCapsW(UINT_PTR{1} << 40, &caps, sizeof caps), JOYERR_PARMS);
}

TEST_F(ApiTest, NullRecordIsCheckedBeforeTheNumber) {
  TVirtualController pad;
  for (UINT id : {0u, 5u, 16u}) {
    EXPECT_EQ(joyGetPos(id, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(joyGetPosEx(id, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(joyGetDevCapsW(id, nullptr, sizeof(JOYCAPSW)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(joyGetDevCapsW(id, nullptr, 3), MMSYSERR_INVALPARAM);
    EXPECT_EQ(joyGetThreshold(id, nullptr), MMSYSERR_INVALPARAM);
  }
}

TEST_F(ApiTest, JoyInfoExSizeBelow52IsRefusedAndLargerOnlyTouchesTheFirst52Bytes) {
  TVirtualController pad;
  for (DWORD size : {0u, 4u, 51u}) {
    JOYINFOEX info = InfoEx(JOY_RETURNALL);
    info.dwSize = size;
    const JOYINFOEX before = info;
    EXPECT_EQ(joyGetPosEx(0, &info), JOYERR_PARMS) << size;
    EXPECT_TRUE(SameBytes(info, before));
  }
  struct {
    JOYINFOEX Info;
    DWORD After[4];
  } big;
  std::memset(&big, Sentinel, sizeof big);
  big.Info.dwSize = sizeof big;
  big.Info.dwFlags = JOY_RETURNALL | JOY_RETURNPOVCTS;
  EXPECT_EQ(joyGetPosEx(0, &big.Info), JOYERR_NOERROR);
  EXPECT_EQ(big.Info.dwXpos, 32767u);
  EXPECT_EQ(big.Info.dwSize, sizeof big);
  for (DWORD word : big.After) EXPECT_EQ(word, SentinelWord);
}

// --- Records -------------------------------------------------------------------------

TEST_F(ApiTest, OnlyRequestedFieldsAreWrittenAndNeverSizeFlagsOrReserved) {
  TDescription d;
  d.WithAxis(TAxis::Z).WithAxis(TAxis::R).WithAxis(TAxis::U).WithAxis(TAxis::V);
  d.Hat = THatKind::Continuous;
  TVirtualController pad(d);
  pad.SetButton(1, true);

  struct TCase {
    DWORD Flags;
    std::vector<DWORD JOYINFOEX::*> Written;
  };
  const TCase cases[] = {
      {JOY_RETURNX, {&JOYINFOEX::dwXpos}},
      {JOY_RETURNY | JOY_RETURNRAWDATA, {&JOYINFOEX::dwYpos}},
      {JOY_RETURNZ | JOY_RETURNCENTERED, {&JOYINFOEX::dwZpos}},
      {JOY_RETURNR, {&JOYINFOEX::dwRpos}},
      {JOY_RETURNU, {&JOYINFOEX::dwUpos}},
      {JOY_RETURNV, {&JOYINFOEX::dwVpos}},
      {JOY_RETURNPOV, {&JOYINFOEX::dwPOV}},
      {JOY_RETURNPOVCTS, {&JOYINFOEX::dwPOV}},
      {JOY_RETURNBUTTONS, {&JOYINFOEX::dwButtons, &JOYINFOEX::dwButtonNumber}},
      {JOY_RETURNCENTERED | JOY_RETURNRAWDATA | JOY_USEDEADZONE, {}},
      {0, {}},
  };
  const std::vector<DWORD JOYINFOEX::*> all = {
      &JOYINFOEX::dwXpos,    &JOYINFOEX::dwYpos,         &JOYINFOEX::dwZpos,
      &JOYINFOEX::dwRpos,    &JOYINFOEX::dwUpos,         &JOYINFOEX::dwVpos,
      &JOYINFOEX::dwButtons, &JOYINFOEX::dwButtonNumber, &JOYINFOEX::dwPOV};
  for (const TCase& c : cases) {
    JOYINFOEX info = InfoEx(c.Flags);
    ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    EXPECT_EQ(info.dwSize, sizeof(JOYINFOEX));
    EXPECT_EQ(info.dwFlags, c.Flags);
    EXPECT_EQ(info.dwReserved1, SentinelWord);
    EXPECT_EQ(info.dwReserved2, SentinelWord);
    for (auto field : all) {
      const bool written = std::find(c.Written.begin(), c.Written.end(), field) != c.Written.end();
      if (written)
        EXPECT_NE(info.*field, SentinelWord) << "flags 0x" << std::hex << c.Flags;
      else
        EXPECT_EQ(info.*field, SentinelWord) << "flags 0x" << std::hex << c.Flags;
    }
  }
}

TEST_F(ApiTest, JoyGetPosGivesCalibratedXYZAndButtonsOneToFour) {
  TDescription d;
  d.WithAxis(TAxis::X, -100, 100, 0).WithAxis(TAxis::Z, 0, 1023, 512);
  d.ButtonCount = 12;
  TVirtualController pad(d);
  pad.Update([](TBatch& b) {
    b.SetAxis(TAxis::X, 100);
    b.SetAxis(TAxis::Y, 0);
    b.SetAxis(TAxis::Z, 1023);
    b.SetButtons(0x0F3);  // buttons 1, 2, 5, 6, 7, 8
  });
  JOYINFO info = Filled<JOYINFO>();
  ASSERT_EQ(joyGetPos(0, &info), JOYERR_NOERROR);
  EXPECT_EQ(info.wXpos, 65535u);
  EXPECT_EQ(info.wYpos, 0u);
  EXPECT_EQ(info.wZpos, 65535u);
  EXPECT_EQ(info.wButtons, JOY_BUTTON1 | JOY_BUTTON2);

  TVirtualController flat;  // no Z
  JOYINFO other = Filled<JOYINFO>();
  ASSERT_EQ(joyGetPos(1, &other), JOYERR_NOERROR);
  EXPECT_EQ(other.wZpos, 0u);
  EXPECT_EQ(other.wXpos, 32767u);
}

// --- Scaling ---------------------------------------------------------------------------

TEST_F(ApiTest, SymmetricAxisAtRestReads32767InEveryCalibratedMode) {
  TDescription d;
  d.WithAxis(TAxis::X, -512, 512, 0).WithAxis(TAxis::Y, 0, 65535, 32767);
  TVirtualController pad(d);
  EXPECT_EQ(Read(0, JOY_RETURNX, &JOYINFOEX::dwXpos), 32767u);
  EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNCENTERED, &JOYINFOEX::dwXpos), 32767u);
  EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNRAWDATA, &JOYINFOEX::dwXpos), 512u);
  EXPECT_EQ(Read(0, JOY_RETURNY, &JOYINFOEX::dwYpos), 32767u);
  EXPECT_EQ(Read(0, JOY_RETURNY | JOY_RETURNCENTERED, &JOYINFOEX::dwYpos), 32767u);
}

TEST_F(ApiTest, CalibratedCenteredAndRawOfAnAsymmetricAxis) {
  TDescription d;
  d.WithAxis(TAxis::X, -100, 300, 0);  // rest a quarter of the way up
  TVirtualController pad(d);
  struct TCase {
    std::int32_t Value;
    DWORD Calibrated, Centered, Raw;
  };
  const TCase cases[] = {
      {-100, 0, 0, 0},          {-50, 8191, 16383, 50},
      {0, 16383, 32767, 100},   {100, 32767, 43689, 200},
      {300, 65535, 65535, 400}, {5000, 65535, 65535, 400},  // beyond the range: clamped
      {-5000, 0, 0, 0},
  };
  for (const TCase& c : cases) {
    pad.SetAxis(TAxis::X, c.Value);
    EXPECT_EQ(Read(0, JOY_RETURNX, &JOYINFOEX::dwXpos), c.Calibrated) << c.Value;
    EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNCENTERED, &JOYINFOEX::dwXpos), c.Centered) << c.Value;
    EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNRAWDATA, &JOYINFOEX::dwXpos), c.Raw) << c.Value;
    // Raw data wins over centring.
    EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNRAWDATA | JOY_RETURNCENTERED, &JOYINFOEX::dwXpos),
              c.Raw);
  }
}

TEST_F(ApiTest, AxesTheControllerLacksReadZeroInEveryMode) {
  TVirtualController pad;  // X and Y only
  for (DWORD mode : {DWORD{0}, DWORD{JOY_RETURNCENTERED}, DWORD{JOY_RETURNRAWDATA}}) {
    JOYINFOEX info = InfoEx(JOY_RETURNALL | mode);
    ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    EXPECT_EQ(info.dwZpos, 0u);
    EXPECT_EQ(info.dwRpos, 0u);
    EXPECT_EQ(info.dwUpos, 0u);
    EXPECT_EQ(info.dwVpos, 0u);
  }
}

TEST_F(ApiTest, ExtremeDeviceRangesDoNotOverflow) {
  TDescription d;
  d.WithAxis(TAxis::X, INT32_MIN, INT32_MAX, 0);
  TVirtualController pad(d);
  pad.SetAxis(TAxis::X, INT32_MAX);
  EXPECT_EQ(Read(0, JOY_RETURNX, &JOYINFOEX::dwXpos), 65535u);
  EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNCENTERED, &JOYINFOEX::dwXpos), 65535u);
  EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNRAWDATA, &JOYINFOEX::dwXpos), 0xFFFFFFFFu);
  pad.SetAxis(TAxis::X, INT32_MIN);
  EXPECT_EQ(Read(0, JOY_RETURNX | JOY_RETURNCENTERED, &JOYINFOEX::dwXpos), 0u);
}

// --- Buttons and hat -------------------------------------------------------------------

TEST_F(ApiTest, ButtonsBitNMinusOneIsButtonNAndTheCountIncludesButtonsAbove32) {
  TDescription d;
  d.ButtonCount = 40;
  TVirtualController pad(d);
  pad.Update([](TBatch& b) {
    b.SetButton(1, true);
    b.SetButton(32, true);
    b.SetButton(33, true);
    b.SetButton(40, true);
  });
  JOYINFOEX info = InfoEx(JOY_RETURNBUTTONS);
  ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
  EXPECT_EQ(info.dwButtons, JOY_BUTTON1 | JOY_BUTTON32);
  EXPECT_EQ(info.dwButtonNumber, 4u);
  pad.SetButton(1, false);
  info = InfoEx(JOY_RETURNBUTTONS);
  ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
  EXPECT_EQ(info.dwButtons, JOY_BUTTON32);
  EXPECT_EQ(info.dwButtonNumber, 3u);
}

TEST_F(ApiTest, HatInDiscreteAndContinuousModes) {
  TDescription d;
  d.Hat = THatKind::Continuous;
  TVirtualController pad(d);
  struct TCase {
    std::uint32_t Reported, Discrete;
  };
  const TCase cases[] = {
      {PovCentered, JOY_POVCENTERED},
      {0, 0},
      {4500, 4500},
      {9000, 9000},
      {4400, 4500},
      {2249, 0},
      {2250, 4500},
      {13400, 13500},
      {18000, 18000},
      {27000, 27000},
      {31500, 31500},
      {33749, 31500},
      {33750, 0},
      {35999, 0},
  };
  for (const TCase& c : cases) {
    pad.SetHat(c.Reported);
    EXPECT_EQ(Read(0, JOY_RETURNPOVCTS, &JOYINFOEX::dwPOV), c.Reported);
    EXPECT_EQ(Read(0, JOY_RETURNPOV, &JOYINFOEX::dwPOV), c.Discrete) << c.Reported;
    // Continuous wins when both are asked.
    EXPECT_EQ(Read(0, JOY_RETURNPOV | JOY_RETURNPOVCTS, &JOYINFOEX::dwPOV), c.Reported);
  }
  TDescription discrete;
  discrete.Hat = THatKind::Discrete;
  TVirtualController fourWay(discrete);
  fourWay.SetHat(22500);  // a diagonal stays a diagonal
  EXPECT_EQ(Read(1, JOY_RETURNPOV, &JOYINFOEX::dwPOV), 22500u);
  EXPECT_EQ(Read(1, JOY_RETURNPOVCTS, &JOYINFOEX::dwPOV), 22500u);

  TVirtualController noHat;
  EXPECT_EQ(Read(2, JOY_RETURNPOV, &JOYINFOEX::dwPOV), JOY_POVCENTERED);
  EXPECT_EQ(Read(2, JOY_RETURNPOVCTS, &JOYINFOEX::dwPOV), JOY_POVCENTERED);
}

// --- Capabilities --------------------------------------------------------------------

TEST_F(ApiTest, CapabilitiesOfAnAttachedController) {
  TDescription d;
  d.Name = u"Flight Stick";
  d.Vendor = 0x046D;
  d.Product = 0xC215;
  d.WithAxis(TAxis::Z, 0, 255, 0).WithAxis(TAxis::R, -10, 10, 0);
  d.ButtonCount = 12;
  d.Hat = THatKind::Discrete;
  d.RegKey = u"DINPUT.DLL";
  d.Driver = u"vjoy";
  TVirtualController pad(d);
  JOYCAPSW caps = Filled<JOYCAPSW>();
  ASSERT_EQ(joyGetDevCapsW(0, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wMid, 0x046D);
  EXPECT_EQ(caps.wPid, 0xC215);
  EXPECT_EQ(System::StrFromUnits(Units(caps.szPname), MAXPNAMELEN), u"Flight Stick");
  EXPECT_EQ(caps.szPname[12], u'\0');
  EXPECT_EQ(caps.szPname[31], u'\0');
  for (UINT JOYCAPSW::*min : {&JOYCAPSW::wXmin, &JOYCAPSW::wYmin, &JOYCAPSW::wZmin,
                              &JOYCAPSW::wRmin, &JOYCAPSW::wUmin, &JOYCAPSW::wVmin})
    EXPECT_EQ(caps.*min, 0u);
  for (UINT JOYCAPSW::*max : {&JOYCAPSW::wXmax, &JOYCAPSW::wYmax, &JOYCAPSW::wZmax,
                              &JOYCAPSW::wRmax, &JOYCAPSW::wUmax, &JOYCAPSW::wVmax})
    EXPECT_EQ(caps.*max, 65535u);
  EXPECT_EQ(caps.wNumButtons, 12u);
  EXPECT_EQ(caps.wPeriodMin, 10u);
  EXPECT_EQ(caps.wPeriodMax, 1000u);
  EXPECT_EQ(caps.wCaps, JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASPOV | JOYCAPS_POV4DIR);
  EXPECT_EQ(caps.wMaxAxes, 6u);
  EXPECT_EQ(caps.wNumAxes, 4u);
  EXPECT_EQ(caps.wMaxButtons, 32u);
  EXPECT_EQ(System::StrFromUnits(Units(caps.szRegKey), MAXPNAMELEN), u"DINPUT.DLL");
  EXPECT_EQ(System::StrFromUnits(Units(caps.szOEMVxD), MAX_JOYSTICKOEMVXDNAME), u"vjoy");
  EXPECT_EQ(caps.szOEMVxD[259], u'\0');
}

TEST_F(ApiTest, CapabilityBitsAndCountsAtTheirLimits) {
  TDescription full;
  full.Name = std::u16string(40, u'N');  // cut to the field, no terminating zero
  for (int a = 0; a < AxisCount; ++a) full.WithAxis(static_cast<TAxis>(a));
  full.ButtonCount = 128;
  full.Hat = THatKind::Continuous;
  TVirtualController big(full);
  TDescription none;
  none.Name = u"";
  none.WithoutAxis(TAxis::X).WithoutAxis(TAxis::Y);
  none.ButtonCount = 0;
  TVirtualController empty(none);

  JOYCAPSW caps = Filled<JOYCAPSW>();
  ASSERT_EQ(joyGetDevCapsW(0, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(System::StrFromUnits(Units(caps.szPname), MAXPNAMELEN), std::u16string(32, u'N'));
  EXPECT_EQ(caps.wCaps, JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASV | JOYCAPS_HASPOV |
                            JOYCAPS_POVCTS);
  EXPECT_EQ(caps.wNumAxes, 6u);
  EXPECT_EQ(caps.wNumButtons, 32u);
  EXPECT_EQ(caps.szRegKey[0], u'\0');

  caps = Filled<JOYCAPSW>();
  ASSERT_EQ(joyGetDevCapsW(1, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.szPname[0], u'\0');
  EXPECT_EQ(caps.wCaps, 0u);
  EXPECT_EQ(caps.wNumAxes, 0u);
  EXPECT_EQ(caps.wNumButtons, 0u);
  EXPECT_EQ(caps.szOEMVxD[0], u'\0');
}

// --- Thresholds ---------------------------------------------------------------------

TEST_F(ApiTest, ThresholdsArePerNumberAndOutOfRangeValuesKeepTheOldOne) {
  EXPECT_EQ(joySetThreshold(3, 500), JOYERR_NOERROR);  // no controller needed
  EXPECT_EQ(joySetThreshold(4, 65535), JOYERR_NOERROR);
  EXPECT_EQ(joySetThreshold(3, 65536), MMSYSERR_INVALPARAM);
  EXPECT_EQ(joySetThreshold(3, 0xFFFFFFFFu), MMSYSERR_INVALPARAM);
  UINT value = 0;
  EXPECT_EQ(joyGetThreshold(3, &value), JOYERR_NOERROR);
  EXPECT_EQ(value, 500u);
  EXPECT_EQ(joyGetThreshold(4, &value), JOYERR_NOERROR);
  EXPECT_EQ(value, 65535u);
  EXPECT_EQ(joyGetThreshold(5, &value), JOYERR_NOERROR);
  EXPECT_EQ(value, 0u);
  // A controller arriving on the number keeps the number's threshold.
  TVirtualController a, b, c, d;
  EXPECT_EQ(joyGetThreshold(3, &value), JOYERR_NOERROR);
  EXPECT_EQ(value, 500u);
}

// --- Numbering, unplugging and several controllers -------------------------------

TEST_F(ApiTest, ControllersTakeTheLowestFreeNumberAndUnpluggedOnesKeepTheirs) {
  auto a = std::make_unique<TVirtualController>();
  auto b = std::make_unique<TVirtualController>();
  auto c = std::make_unique<TVirtualController>();
  EXPECT_EQ(a->GetNumber(), 0u);
  EXPECT_EQ(b->GetNumber(), 1u);
  EXPECT_EQ(c->GetNumber(), 2u);

  b.reset();  // detached: number 1 is free again
  JOYINFO info;
  EXPECT_EQ(joyGetPos(1, &info), JOYERR_UNPLUGGED);
  TVirtualController d;
  EXPECT_EQ(d.GetNumber(), 1u);

  a->Unplug();  // number 0 is kept for it
  EXPECT_FALSE(a->GetPlugged());
  EXPECT_EQ(joyGetPos(0, &info), JOYERR_UNPLUGGED);
  TVirtualController e;
  EXPECT_EQ(e.GetNumber(), 3u);
  a->SetAxis(TAxis::X, 0);  // an unplugged controller still takes changes
  a->Replug();
  EXPECT_EQ(a->GetNumber(), 0u);
  EXPECT_EQ(Read(0, JOY_RETURNX, &JOYINFOEX::dwXpos), 0u);
  a->Unplug();
  a->Unplug();  // twice is harmless
  a.reset();    // destroying an unplugged controller frees its number
  TVirtualController f;
  EXPECT_EQ(f.GetNumber(), 0u);
}

TEST_F(ApiTest, SeveralControllersAnswerIndependently) {
  TDescription named;
  std::vector<std::unique_ptr<TVirtualController>> pads;
  for (int i = 0; i < 3; ++i) {
    named.Name = u"Pad " + System::IntToStr(i);
    named.Product = static_cast<std::uint16_t>(100 + i);
    pads.push_back(std::make_unique<TVirtualController>(named));
    pads.back()->SetAxis(TAxis::X, 1000 * (i + 1));
    pads.back()->SetButton(static_cast<std::uint32_t>(i + 1), true);
  }
  for (UINT id = 0; id < 3; ++id) {
    EXPECT_EQ(Read(id, JOY_RETURNX | JOY_RETURNRAWDATA, &JOYINFOEX::dwXpos), 1000 * (id + 1));
    EXPECT_EQ(Read(id, JOY_RETURNBUTTONS, &JOYINFOEX::dwButtons), 1u << id);
    JOYCAPSW caps;
    ASSERT_EQ(joyGetDevCapsW(id, &caps, sizeof caps), JOYERR_NOERROR);
    EXPECT_EQ(caps.wPid, 100 + id);
    EXPECT_EQ(System::StrFromUnits(Units(caps.szPname), MAXPNAMELEN),
              u"Pad " + System::IntToStr(int(id)));
  }
}

TEST_F(ApiTest, SixteenControllersFillEveryNumberAndTheSeventeenthIsRefused) {
  std::vector<std::unique_ptr<TVirtualController>> pads;
  for (UINT i = 0; i < 16; ++i) {
    pads.push_back(std::make_unique<TVirtualController>());
    EXPECT_EQ(pads.back()->GetNumber(), i);
  }
  EXPECT_THROW(TVirtualController extra, EVirtualJoystickError);
  // An unplugged controller's number goes to a newcomer only when nothing else is free.
  pads[5]->Unplug();
  TVirtualController newcomer;
  EXPECT_EQ(newcomer.GetNumber(), 5u);
  EXPECT_THROW(pads[5]->Replug(), EVirtualJoystickError);
  EXPECT_FALSE(pads[5]->GetPlugged());
}

TEST_F(ApiTest, ABatchIsOneConsistentReading) {
  TDescription d;
  d.WithAxis(TAxis::X, 0, 1000000, 0).WithAxis(TAxis::Y, 0, 1000000, 0);
  TVirtualController pad(d);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (std::int32_t v = 0; !stop.load(); v = (v + 7919) % 1000000)
      pad.Update([v](TBatch& b) {
        b.SetAxis(TAxis::X, v);
        b.SetAxis(TAxis::Y, v);
      });
  });
  for (int i = 0; i < 20000; ++i) {
    JOYINFOEX info = InfoEx(JOY_RETURNX | JOY_RETURNY | JOY_RETURNRAWDATA);
    ASSERT_EQ(joyGetPosEx(0, &info), JOYERR_NOERROR);
    ASSERT_EQ(info.dwXpos, info.dwYpos);
  }
  stop = true;
  writer.join();
}

// --- Backends and reset --------------------------------------------------------------

// A backend with one device whose state the test sets.
class TFakeDevice final : public JoystickService::TJoystickDevice {
 public:
  explicit TFakeDevice(std::string identity) {
    FInfo.Name = u"Fake";
    FInfo.Axes[0] = {.Present = true, .Min = 0, .Max = 100, .Rest = 50};
    FInfo.Identity = std::move(identity);
  }
  const JoystickService::TDeviceInfo& Info() const override { return FInfo; }
  void ReadState(JoystickService::TDeviceState& state) const override { state = FState; }
  JoystickService::TDeviceInfo FInfo;
  JoystickService::TDeviceState FState;
};

class TFakeDriver final : public JoystickService::TJoystickDriver {
 public:
  TFakeDriver(int* closed) : FClosed(closed) {}
  const char* Name() const override { return "fake"; }
  void Open(JoystickService::TDriverHost& host) override {
    Host = &host;
    Number = host.DeviceAdded(&Device);
  }
  void Close() override {
    Host->DeviceRemoved(&Device);
    ++*FClosed;
  }
  JoystickService::TDriverHost* Host = nullptr;
  TFakeDevice Device{"fake:1"};
  int Number = -1;

 private:
  int* FClosed;
};

TEST_F(ApiTest, AttachedBackendsAreNumberedAndDetachingFreesTheirNumbers) {
  TVirtualController first;
  int closed = 0;
  auto owned = std::make_unique<TFakeDriver>(&closed);
  TFakeDriver* fake = owned.get();
  ASSERT_EQ(JoystickService::AttachDriver(std::move(owned)), fake);
  EXPECT_EQ(fake->Number, 1);
  EXPECT_EQ(JoystickService::GetDriverNames(), (std::vector<std::string>{"virtual", "fake"}));
  fake->Device.FState.Axes[0] = 100;
  EXPECT_EQ(Read(1, JOY_RETURNX, &JOYINFOEX::dwXpos), 65535u);

  // Unplugged and back: the same number, by identity.
  fake->Host->DeviceRemoved(&fake->Device);
  TVirtualController second;
  EXPECT_EQ(second.GetNumber(), 2u);
  EXPECT_EQ(fake->Host->DeviceAdded(&fake->Device), 1);

  EXPECT_TRUE(JoystickService::DetachDriver(fake));
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(JoystickService::DetachDriver(fake));
  EXPECT_FALSE(JoystickService::DetachDriver(&JoystickService::VirtualDriver()));
  TVirtualController third;
  EXPECT_EQ(third.GetNumber(), 1u);  // the kept number went with its backend
}

TEST_F(ApiTest, UnknownBackendNamesAreReportedOnceAndIgnored) {
  vorlane::testing::SetEnvironment("VORLANE_JOYSTICK_BACKENDS", " virtual , bogus,");
  JoystickService::ResetForTesting();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(joyGetNumDevs(), 16u);
  EXPECT_EQ(joyGetNumDevs(), 16u);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("unknown backend 'bogus'"), std::string::npos) << err;
  EXPECT_EQ(err.find("bogus"), err.rfind("bogus")) << err;
  EXPECT_EQ(JoystickService::GetDriverNames(), std::vector<std::string>{"virtual"});
}

TEST_F(ApiTest, ABadRecordingIsReportedAndTheServiceGoesOn) {
  vorlane::testing::SetEnvironment("VORLANE_JOYSTICK_DEVICES", "/nonexistent/recording.evemu");
  JoystickService::ResetForTesting();
  ::testing::internal::CaptureStderr();
  TVirtualController pad;
  const std::string err = ::testing::internal::GetCapturedStderr();
  vorlane::testing::UnsetEnvironment("VORLANE_JOYSTICK_DEVICES");
  EXPECT_NE(err.find("VORLANE_JOYSTICK_DEVICES"), std::string::npos) << err;
  EXPECT_EQ(pad.GetNumber(), 0u);
  EXPECT_EQ(JoystickService::GetDriverNames(), std::vector<std::string>{"virtual"});
}

TEST_F(ApiTest, ResetRenumbersLiveControllersAndForgetsThresholds) {
  TVirtualController a, b;
  a.Unplug();
  EXPECT_EQ(joySetThreshold(1, 77), JOYERR_NOERROR);
  JoystickService::ResetForTesting();
  EXPECT_EQ(b.GetNumber(), 0u);  // a is unplugged, so b is the first again
  UINT value = 1;
  EXPECT_EQ(joyGetThreshold(1, &value), JOYERR_NOERROR);
  EXPECT_EQ(value, 0u);
  a.Replug();
  EXPECT_EQ(a.GetNumber(), 1u);
}

}  // namespace
}  // namespace vorlane::JoystickServiceTests
