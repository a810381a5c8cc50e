#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Support.hpp"
#include "vorlane/runtime/FormData.hpp"

namespace vorlane::Joystick::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const TypInfo::TPropInfo& Prop(TObject& object, std::string_view name) {
  const TypInfo::TPropInfo* info = TypInfo::GetPropInfo(object.ClassType(), name);
  EXPECT_NE(info, nullptr) << name;
  return *info;
}

class JoystickCore : public ServiceTest {};

TEST_F(JoystickCore, NewComponentHasTheDefaults) {
  TJoystick joystick(nullptr);
  EXPECT_FALSE(joystick.GetActive());
  EXPECT_EQ(joystick.GetController(), 0);
  EXPECT_EQ(joystick.GetEventMode(), emThreshold);
  EXPECT_EQ(joystick.GetPollingPeriod(), 0);
  EXPECT_FALSE(joystick.GetRawData());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  EXPECT_NE(joystick.GetCapabilities(), nullptr);
  EXPECT_EQ(joystick.GetCapabilities(), joystick.GetCapabilities());
  EXPECT_FALSE(joystick.GetOnMove().Assigned());
}

TEST_F(JoystickCore, ConstructionAndDestructionCallNoService) {
  JoystickTesting::StartCallLog();
  { TJoystick joystick(nullptr); }
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
}

TEST_F(JoystickCore, PublishedTableIsInDeclaredOrderAfterNameAndTag) {
  std::vector<std::string> names;
  for (const auto* p : TypInfo::GetPropList(TJoystick::StaticClass())) names.push_back(p->Name);
  const std::vector<std::string> expected = {"Name",
                                             "Tag",
                                             "About",
                                             "Active",
                                             "Capabilities",
                                             "CenteredR",
                                             "CenteredU",
                                             "CenteredV",
                                             "CenteredX",
                                             "CenteredY",
                                             "CenteredZ",
                                             "Controller",
                                             "EventMode",
                                             "PositionR",
                                             "PositionU",
                                             "PositionV",
                                             "PositionX",
                                             "PositionY",
                                             "PositionZ",
                                             "PointOfView",
                                             "PointOfViewDirection",
                                             "PollingPeriod",
                                             "PressedButtons",
                                             "PressedButtonCount",
                                             "RawData",
                                             "Threshold",
                                             "OnButtonDown",
                                             "OnButtonUp",
                                             "OnMove",
                                             "OnMoveZ"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(TJoystick::StaticClass().Members.Platforms, 3u);
}

TEST_F(JoystickCore, StoredFlagsAndDefaults) {
  TJoystick joystick(nullptr);
  for (const char* stored : {"Active", "Controller", "EventMode", "PollingPeriod", "RawData",
                             "Threshold", "OnButtonDown", "OnButtonUp", "OnMove", "OnMoveZ"})
    EXPECT_TRUE(Prop(joystick, stored).Stored) << stored;
  for (const char* live : {"About", "Capabilities", "PositionX", "CenteredV", "PointOfView",
                           "PointOfViewDirection", "PressedButtons", "PressedButtonCount"})
    EXPECT_FALSE(Prop(joystick, live).Stored) << live;
  EXPECT_EQ(Prop(joystick, "EventMode").Default, emThreshold);
}

TEST_F(JoystickCore, FormDataOfANewComponentHoldsNothingButItsName) {
  Classes::TComponent form(nullptr);
  form.SetName(u"Form1");
  auto* joystick = new TJoystick(&form);
  joystick->SetName(u"Joystick1");
  const std::string text = FormData::WriteComponent(&form);
  EXPECT_THAT(text, HasSubstr("object Joystick1: TJoystick"));
  for (const char* name : {"Active", "Controller", "EventMode", "PollingPeriod", "RawData",
                           "Threshold", "About", "Position", "Capabilities", "Pressed"})
    EXPECT_THAT(text, Not(HasSubstr(name))) << text;

  joystick->SetEventMode(emPolling);
  EXPECT_THAT(FormData::WriteComponent(&form), HasSubstr("EventMode = emPolling"));
}

TEST_F(JoystickCore, FormDataRoundTripsTheSettings) {
  Classes::TComponent form(nullptr);
  form.SetName(u"Form1");
  auto* joystick = new TJoystick(&form);
  joystick->SetName(u"Joystick1");
  joystick->SetController(3);
  joystick->SetPollingPeriod(25);
  joystick->SetRawData(true);
  joystick->SetEventMode(emPolling);
  const std::string text = FormData::WriteComponent(&form);

  Classes::TComponent copy(nullptr);
  FormData::ReadComponent(text, &copy);
  ASSERT_EQ(copy.GetComponentCount(), 1);
  auto* read = System::As<TJoystick>(copy.GetComponents(0));
  EXPECT_EQ(read->GetController(), 3);
  EXPECT_EQ(read->GetPollingPeriod(), 25);
  EXPECT_TRUE(read->GetRawData());
  EXPECT_EQ(read->GetEventMode(), emPolling);
  EXPECT_FALSE(read->GetActive());
}

TEST_F(JoystickCore, AboutIsFixedAndWritesAreIgnored) {
  TJoystick joystick(nullptr);
  const String about = joystick.GetAbout();
  EXPECT_EQ(about.rfind(u"Version 4.6, ", 0), 0u);
  EXPECT_NE(about.find(u"Vorlane"), String::npos);
  EXPECT_EQ(about.find(u'\n'), String::npos);
  Prop(joystick, "About").SetStr(&joystick, u"other");
  EXPECT_EQ(joystick.GetAbout(), about);
}

TEST_F(JoystickCore, WritingLiveValuesChangesNothing) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  const Integer x = joystick.GetPositionX();
  EXPECT_NO_THROW(Prop(joystick, "PositionX").SetOrd(&joystick, 5));
  EXPECT_NO_THROW(Prop(joystick, "PressedButtons").SetOrd(&joystick, 0xFF));
  EXPECT_NO_THROW(Prop(joystick, "PointOfViewDirection").SetOrd(&joystick, pdLeft));
  EXPECT_EQ(joystick.GetPositionX(), x);
  EXPECT_TRUE(joystick.GetPressedButtons().Empty());
}

TEST_F(JoystickCore, AssigningCapabilitiesRaisesTheAssignmentError) {
  TJoystick joystick(nullptr);
  TJoystick other(nullptr);
  TCapabilities* own = joystick.GetCapabilities();
  EXPECT_THROW(joystick.SetCapabilities(other.GetCapabilities()), System::EConvertError);
  try {
    joystick.SetCapabilities(nullptr);
    FAIL();
  } catch (const System::EConvertError& e) {
    EXPECT_NE(e.GetMessage().find(u"nil"), String::npos);
    EXPECT_NE(e.GetMessage().find(u"TCapabilities"), String::npos);
  }
  EXPECT_EQ(joystick.GetCapabilities(), own);
}

TEST_F(JoystickCore, DesignTimeThresholdIsAPlainNumber) {
  TJoystick joystick(nullptr);
  joystick.SetDesigning(true);
  JoystickTesting::StartCallLog();
  joystick.SetThreshold(250);
  EXPECT_EQ(joystick.GetThreshold(), 250);
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
}

TEST_F(JoystickCore, RunTimeThresholdIsTheServicesValue) {
  VirtualJoystick::TVirtualController pad;
  ASSERT_EQ(joySetThreshold(pad.GetNumber(), 40), JOYERR_NOERROR);
  TJoystick joystick(nullptr);
  EXPECT_EQ(joystick.GetThreshold(), 40);
}

TEST_F(JoystickCore, ThresholdOfARefusedControllerRaises) {
  TJoystick joystick(nullptr);
  joystick.SetController(16);
  try {
    joystick.GetThreshold();
    FAIL();
  } catch (const EJoystickError& e) {
    EXPECT_EQ(e.ErrorCode, JOYERR_PARMS);
  }
  EXPECT_THROW(joystick.SetThreshold(5), EJoystickError);
}

TEST_F(JoystickCore, InactiveComponentRecordsThresholdWithoutSendingIt) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetController(static_cast<Integer>(pad.GetNumber()));
  JoystickTesting::StartCallLog();
  joystick.SetThreshold(100);
  EXPECT_TRUE(CallsOf(TServiceCall::SetThreshold).empty());
  // The service still reports 0, so writing 0 is no change at all: 100 stays.
  joystick.SetThreshold(0);
  EXPECT_TRUE(CallsOf(TServiceCall::SetThreshold).empty());

  TEventRecorder recorder;
  joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&recorder));
  joystick.SetActive(true);
  const auto sent = CallsOf(TServiceCall::SetThreshold);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Threshold, 100u);
  EXPECT_EQ(joystick.GetThreshold(), 100);
}

TEST_F(JoystickCore, ActiveComponentSendsThresholdAtOnce) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetActive(true);  // no handler: nothing captured
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  joystick.SetThreshold(300);
  EXPECT_EQ(joystick.GetThreshold(), 300);
}

TEST_F(JoystickCore, RefusedThresholdWriteKeepsTheNewValueStored) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetActive(true);
  JoystickTesting::RefuseCall(TServiceCall::SetThreshold, JoystickTesting::AnyController,
                              JOYERR_NOCANDO, 1);
  EXPECT_THROW(joystick.SetThreshold(70), EJoystickError);
  // The stored value is sent by the next capture.
  JoystickTesting::StartCallLog();
  TEventRecorder recorder;
  joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&recorder));
  const auto sent = CallsOf(TServiceCall::SetThreshold);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Threshold, 70u);
}

TEST_F(JoystickCore, RawDataOnlyStoresTheFlag) {
  TJoystick joystick(nullptr);
  JoystickTesting::StartCallLog();
  joystick.SetRawData(true);
  Prop(joystick, "RawData").SetOrd(&joystick, 0);
  EXPECT_FALSE(joystick.GetRawData());
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
}

TEST_F(JoystickCore, OwnerDestroysTheComponent) {
  auto* form = new Classes::TComponent(nullptr);
  auto* joystick = new TJoystick(form);
  EXPECT_EQ(joystick->GetOwner(), form);
  EXPECT_EQ(form->GetComponentCount(), 1);
  delete form;  // must free the joystick and its capabilities (checked under ASan)
}

}  // namespace
}  // namespace vorlane::Joystick::testing
