#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../../component/PointOfView.hpp"
#include "Support.hpp"

namespace vorlane::Joystick::testing {
namespace {

using JoystickTesting::AnyController;
using VirtualJoystick::TDescription;
using VirtualJoystick::THatKind;
using VirtualJoystick::TVirtualController;

class JoystickQueries : public ServiceTest {
 protected:
  // The dwFlags of the one joyGetPosEx that `read` makes.
  template <class F>
  DWORD FlagsOf(F read) {
    JoystickTesting::StartCallLog();
    read();
    const auto calls = CallsOf(TServiceCall::GetPosEx);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(JoystickTesting::GetCallLog().size(), 1u);
    if (calls.empty()) return 0;
    EXPECT_EQ(calls[0].Size, sizeof(JOYINFOEX));
    return calls[0].Flags;
  }

  static TDescription FullDescription() {
    TDescription d;
    d.Name = u"Full Stick";
    for (auto axis : {TAxis::Z, TAxis::R, TAxis::U, TAxis::V}) d.WithAxis(axis, -100, 100, 0);
    d.ButtonCount = 32;
    d.Hat = THatKind::Continuous;
    return d;
  }
};

TEST_F(JoystickQueries, EachPropertyAsksForItsOwnFlags) {
  TVirtualController pad(FullDescription());
  TJoystick j(nullptr);
  const struct {
    const char* name;
    DWORD flags;
    Integer (TJoystick::*get)();
  } rows[] = {
      {"PositionX", 0x1, &TJoystick::GetPositionX},
      {"PositionY", 0x2, &TJoystick::GetPositionY},
      {"PositionZ", 0x4, &TJoystick::GetPositionZ},
      {"PositionR", 0x8, &TJoystick::GetPositionR},
      {"PositionU", 0x10, &TJoystick::GetPositionU},
      {"PositionV", 0x20, &TJoystick::GetPositionV},
      {"CenteredX", 0x401, &TJoystick::GetCenteredX},
      {"CenteredY", 0x402, &TJoystick::GetCenteredY},
      {"CenteredZ", 0x404, &TJoystick::GetCenteredZ},
      {"CenteredR", 0x408, &TJoystick::GetCenteredR},
      {"CenteredU", 0x410, &TJoystick::GetCenteredU},
      {"CenteredV", 0x420, &TJoystick::GetCenteredV},
      {"PointOfView", 0x200, &TJoystick::GetPointOfView},
      {"PressedButtonCount", 0x80, &TJoystick::GetPressedButtonCount},
  };
  for (bool raw : {false, true}) {
    j.SetRawData(raw);
    for (const auto& row : rows)
      EXPECT_EQ(FlagsOf([&] { (j.*row.get)(); }), row.flags | (raw ? 0x100u : 0u))
          << row.name << " raw=" << raw;
    EXPECT_EQ(FlagsOf([&] { j.GetPointOfViewDirection(); }), 0x40u | (raw ? 0x100u : 0u));
    EXPECT_EQ(FlagsOf([&] { j.GetPressedButtons(); }), 0x80u | (raw ? 0x100u : 0u));
  }
}

TEST_F(JoystickQueries, PositionsComeFromTheDeviceEveryTime) {
  TVirtualController pad(FullDescription());
  TJoystick j(nullptr);
  EXPECT_EQ(j.GetPositionX(), 32767);
  EXPECT_EQ(j.GetPositionZ(), 32767);  // -100..100 at rest 0
  pad.SetAxis(TAxis::X, 65535);
  pad.SetAxis(TAxis::Z, -100);
  EXPECT_EQ(j.GetPositionX(), 65535);
  EXPECT_EQ(j.GetPositionZ(), 0);
  EXPECT_EQ(j.GetCenteredZ(), 0);
  j.SetRawData(true);
  EXPECT_EQ(j.GetPositionZ(), 0);  // raw: the reading minus the minimum
  pad.SetAxis(TAxis::Z, 100);
  EXPECT_EQ(j.GetPositionZ(), 200);
}

TEST_F(JoystickQueries, QueriesWorkWithoutActivationAndInTheDesigner) {
  TVirtualController pad(FullDescription());
  TJoystick j(nullptr);
  j.SetDesigning(true);
  pad.SetAxis(TAxis::Y, 0);
  EXPECT_EQ(j.GetPositionY(), 0);
  EXPECT_EQ(j.GetCapabilities()->GetButtonCount(), 32);
  EXPECT_EQ(j.GetJoystickForm(), nullptr);
}

TEST_F(JoystickQueries, HatDirections) {
  TVirtualController pad(FullDescription());
  TJoystick j(nullptr);
  const struct {
    std::uint32_t pov;
    TPointOfViewDirection direction;
  } rows[] = {{0, pdForward},      {9000, pdRight},   {18000, pdBackward}, {27000, pdLeft},
              {65535, pdCentered}, {4500, pdUnknown}, {31500, pdUnknown}};
  for (const auto& row : rows) {
    pad.SetHat(row.pov);
    EXPECT_EQ(j.GetPointOfViewDirection(), row.direction) << row.pov;
  }
  pad.SetHat(12345);
  EXPECT_EQ(j.GetPointOfView(), 12345);
}

TEST(PointOfViewMapping, CentredIsRecognisedByTheLowEightBits) {
  EXPECT_EQ(DirectionOfPov(511), pdCentered);
  EXPECT_EQ(DirectionOfPov(0xFFFFFFFFu), pdCentered);
  EXPECT_EQ(DirectionOfPov(0xFFFF), pdCentered);
  EXPECT_EQ(DirectionOfPov(0x100), pdUnknown);
  EXPECT_EQ(DirectionOfPov(4500), pdUnknown);
  EXPECT_EQ(DirectionOfPov(0x10000), pdUnknown) << "only an exact 0 is forward";
}

TEST_F(JoystickQueries, FailedHatReadRaisesInsteadOfUnknown) {
  TJoystick j(nullptr);
  j.SetController(3);
  try {
    j.GetPointOfViewDirection();
    FAIL();
  } catch (const EJoystickError& e) {
    EXPECT_EQ(e.ErrorCode, JOYERR_UNPLUGGED);
    EXPECT_EQ(e.GetMessage(), u"The specified joystick is not connected to the system.");
  }
}

TEST_F(JoystickQueries, PressedButtonsBitForBit) {
  TDescription d;
  d.ButtonCount = 40;
  TVirtualController pad(d);
  TJoystick j(nullptr);
  pad.Update([](VirtualJoystick::TBatch& b) {
    b.SetButton(1, true);
    b.SetButton(32, true);
    b.SetButton(33, true);
  });
  EXPECT_EQ(j.GetPressedButtons(), (TButtons{joButton1, joButton32}));
  EXPECT_EQ(j.GetPressedButtonCount(), 3);
}

TEST_F(JoystickQueries, ControllerCountIsPassedOnUnchecked) {
  TJoystick j(nullptr);
  EXPECT_EQ(j.GetControllerCount(), 16);
  JoystickTesting::RefuseCall(TServiceCall::GetNumDevs, AnyController, 0, 1);
  EXPECT_EQ(j.GetControllerCount(), 0);
}

TEST_F(JoystickQueries, AttachedNeverRaises) {
  TVirtualController pad0, pad1;
  pad1.Unplug();
  TJoystick j(nullptr);
  EXPECT_TRUE(j.GetAttached(0));
  EXPECT_FALSE(j.GetAttached(1));
  EXPECT_FALSE(j.GetAttached(2));
  EXPECT_FALSE(j.GetAttached(16));
  EXPECT_FALSE(j.GetAttached(-1));
}

TEST_F(JoystickQueries, ControllerNamesUpToTheFirstZeroOrAll32Units) {
  TDescription shortName;
  shortName.Name = u"Short";
  TDescription fullName;
  fullName.Name = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // exactly 32 units
  TVirtualController pad0(shortName), pad1(fullName);
  TJoystick j(nullptr);
  EXPECT_EQ(j.GetControllerName(0), u"Short");
  EXPECT_EQ(j.GetControllerName(1).size(), 32u);
  EXPECT_EQ(j.GetControllerName(1), fullName.Name);
  try {
    j.GetControllerName(16);
    FAIL();
  } catch (const EJoystickError& e) {
    EXPECT_EQ(e.ErrorCode, JOYERR_PARMS);
  }
  EXPECT_THROW(j.GetControllerName(5), EJoystickError);
}

TEST_F(JoystickQueries, RefusedQueryRaisesTheServicesCode) {
  TVirtualController pad;
  TJoystick j(nullptr);
  JoystickTesting::RefuseCall(TServiceCall::GetPosEx, AnyController, 1234, 1);
  try {
    j.GetPositionX();
    FAIL();
  } catch (const EJoystickError& e) {
    EXPECT_EQ(e.ErrorCode, 1234);
    EXPECT_EQ(e.GetMessage(), u"Unknown error 1234.");
  }
  EXPECT_EQ(j.GetPositionX(), 32767);
}

// --- Capabilities ----------------------------------------------------------------------

TEST_F(JoystickQueries, CapabilitiesReportTheDevice) {
  TDescription d = FullDescription();
  d.Vendor = 0xFFFF;
  d.Product = 0x8001;
  d.RegKey = u"Key";
  d.Driver = u"";
  TVirtualController pad(d);
  TJoystick j(nullptr);
  TCapabilities& caps = *j.GetCapabilities();
  EXPECT_EQ(caps.GetManufacturer(), 65535);
  EXPECT_EQ(caps.GetProduct(), 0x8001);
  EXPECT_EQ(caps.GetProductName(), u"Full Stick");
  EXPECT_EQ(caps.GetRegistryKey(), u"Key");
  EXPECT_EQ(caps.GetDriver(), u"");
  EXPECT_EQ(caps.GetAxesCount(), 6);
  EXPECT_EQ(caps.GetMaxAxes(), 6);
  EXPECT_EQ(caps.GetButtonCount(), 32);
  EXPECT_EQ(caps.GetMaxButtons(), 32);
  EXPECT_EQ(caps.GetMinPeriod(), 10);
  EXPECT_EQ(caps.GetMaxPeriod(), 1000);
  EXPECT_EQ(caps.GetMinX(), 0);
  EXPECT_EQ(caps.GetMaxV(), 65535);
  EXPECT_EQ(caps.GetFlags(), (TCapabilityFlags{cfHasZ, cfHasR, cfHasU, cfHasV, cfHasPointOfView,
                                               cfContinuousPointOfView}));
}

TEST_F(JoystickQueries, FlagsOfADiscreteHatAndOfNone) {
  TDescription d;
  d.Hat = THatKind::Discrete;
  TDescription plain;
  TVirtualController pad0(d), pad1(plain);
  TJoystick j(nullptr);
  EXPECT_EQ(j.GetCapabilities()->GetFlags(),
            (TCapabilityFlags{cfHasPointOfView, cfDiscretePointOfView}));
  j.SetController(1);
  EXPECT_TRUE(j.GetCapabilities()->GetFlags().Empty());
}

TEST_F(JoystickQueries, EachCapabilityReadIsOneFreshCallForTheCurrentController) {
  TDescription four;
  four.ButtonCount = 4;
  TDescription twelve;
  twelve.ButtonCount = 12;
  TVirtualController pad0(four), pad1(twelve);
  TJoystick j(nullptr);
  JoystickTesting::StartCallLog();
  EXPECT_EQ(j.GetCapabilities()->GetButtonCount(), 4);
  j.SetController(1);
  EXPECT_EQ(j.GetCapabilities()->GetButtonCount(), 12);
  const auto calls = CallsOf(TServiceCall::GetDevCaps);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Controller, 0u);
  EXPECT_EQ(calls[1].Controller, 1u);
  EXPECT_EQ(calls[1].Size, sizeof(JOYCAPSW));
}

TEST_F(JoystickQueries, CapabilitiesOfARefusedControllerAnswerOnceItReturns) {
  TVirtualController pad;
  pad.Unplug();
  TJoystick j(nullptr);
  try {
    j.GetCapabilities()->GetMaxX();
    FAIL();
  } catch (const EJoystickError& e) {
    EXPECT_EQ(e.ErrorCode, JOYERR_UNPLUGGED);
  }
  pad.Replug();
  EXPECT_EQ(j.GetCapabilities()->GetMaxX(), 65535);
}

TEST_F(JoystickQueries, CapabilityWritesAreIgnored) {
  TVirtualController pad;
  TJoystick j(nullptr);
  TCapabilities& caps = *j.GetCapabilities();
  const auto& cls = TCapabilities::StaticClass();
  TypInfo::GetPropInfo(cls, "MaxX")->SetOrd(&caps, 5);
  TypInfo::GetPropInfo(cls, "ProductName")->SetStr(&caps, u"renamed");
  TypInfo::GetPropInfo(cls, "Flags")->SetOrd(&caps, 0x7F);
  EXPECT_EQ(caps.GetMaxX(), 65535);
  EXPECT_EQ(caps.GetProductName(), u"Vorlane Virtual Joystick");
  EXPECT_TRUE(caps.GetFlags().Empty());
}

TEST_F(JoystickQueries, CapabilitiesTableHasTheTwentyFourPropertiesUnstored) {
  const auto props = TypInfo::GetPropList(TCapabilities::StaticClass());
  ASSERT_EQ(props.size(), 24u);
  EXPECT_STREQ(props.front()->Name, "AxesCount");
  EXPECT_STREQ(props.back()->Name, "RegistryKey");
  for (const auto* p : props) EXPECT_FALSE(p->Stored) << p->Name;
  EXPECT_EQ(
      TypInfo::GetTypeData(TypInfo::GetPropInfo(TCapabilities::StaticClass(), "Flags")->PropType)
          ->OrdType,
      TypInfo::TOrdType::otUByte);
  static_assert(sizeof(TCapabilityFlags) == 1 && sizeof(TButtons) == 4);
  static_assert(sizeof(TEventMode) == 1 && sizeof(TPointOfViewDirection) == 1);
}

}  // namespace
}  // namespace vorlane::Joystick::testing

namespace vorlane::Joystick::testing {
namespace {

// A program that links the runtime unit reads forms naming TJoystick without any
// designer registration (the design package, which contains the unit too, leaves
// that to its Register).
TEST(JoystickClassRegistration, LinkingTheRuntimeUnitMakesTJoystickKnownByName) {
  EXPECT_EQ(TypInfo::FindClass("TJoystick"), &TJoystick::StaticClass());
}

}  // namespace
}  // namespace vorlane::Joystick::testing
