// The editors of JoystickDesign: guarded reading of live values, the controller
// value list and the set element sub-editors.
#include "DesignSupport.hpp"
#include "vorlane/Joystick.hpp"
#include "vorlane/JoystickDesign.hpp"

namespace vorlane::DesignTests {
namespace {

using namespace JoystickDesign;
using DesignEditors::TIntegerProperty;
using DesignIntf::paValueList;
using Joystick::EJoystickError;
using Joystick::TJoystick;
using JoystickTesting::TServiceCall;
using VirtualJoystick::TAxis;
using VirtualJoystick::TVirtualController;

const String kUnplugged = u"(The specified joystick is not connected to the system.)";

// The message EJoystickError carries for `code`.
String MessageOf(std::uint32_t code) {
  try {
    Joystick::Check(code);
  } catch (const EJoystickError& e) {
    return e.GetMessage();
  }
  return u"no error";
}

std::size_t CallsOf(TServiceCall call) {
  std::size_t n = 0;
  for (const auto& r : JoystickTesting::GetCallLog()) n += r.Call == call;
  return n;
}

// A component that is not a TJoystick but publishes an Integer Controller.
class TOtherComponent : public TComponent {
 public:
  using TComponent::TComponent;
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TPropInfo props[] = {
        TypInfo::Property<&TOtherComponent::Controller, &TOtherComponent::Controller>(
            "Controller", TypInfo::Default(0))};
    static const TypInfo::TClassInfo info("TOtherComponent", &TComponent::StaticClass(),
                                          {.Properties = props});
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  Integer Controller = 0;
};

class JoystickEditorsTest : public DesignTest {
 protected:
  void SetUp() override {
    DesignTest::SetUp();
    FJoystick.SetDesigning(true);
  }
  TJoystick FJoystick{nullptr};
  TPersistent* Caps() { return FJoystick.GetCapabilities(); }
};

TEST_F(JoystickEditorsTest, NoControllerShowsTheMessageInParenthesesAndRaisesNothing) {
  auto checked = MakeEditor<TCheckedIntegerProperty>(&FJoystick, "PositionX");
  String value;
  EXPECT_NO_THROW(value = checked->GetValue());
  EXPECT_EQ(value, kUnplugged);

  // The base editor lets the getter's exception through: the guard is what helps.
  auto base = MakeEditor<TIntegerProperty>(&FJoystick, "PositionX");
  try {
    base->GetValue();
    ADD_FAILURE() << "no exception";
  } catch (const EJoystickError& e) {
    EXPECT_EQ(e.ErrorCode, 167);
  }

  EXPECT_EQ(MakeEditor<TCheckedEnumProperty>(&FJoystick, "PointOfViewDirection")->GetValue(),
            kUnplugged);
  EXPECT_EQ(MakeEditor<TCheckedSetProperty>(&FJoystick, "PressedButtons")->GetValue(), kUnplugged);
  EXPECT_EQ(MakeEditor<TCheckedStringProperty>(Caps(), "ProductName")->GetValue(), kUnplugged);
  EXPECT_EQ(MakeEditor<TCheckedSetProperty>(Caps(), "Flags")->GetValue(), kUnplugged);
  EXPECT_EQ(MakeEditor<TCheckedIntegerProperty>(Caps(), "MaxX")->GetValue(), kUnplugged);
}

TEST_F(JoystickEditorsTest, ASuccessfulReadIsExactlyTheBaseEditorsText) {
  VirtualJoystick::TDescription pad;
  pad.Name = u"Test Pad";
  pad.WithAxis(TAxis::Z, 0, 65535, 32767);
  pad.Hat = VirtualJoystick::THatKind::Discrete;
  TVirtualController controller(pad);
  ASSERT_EQ(controller.GetNumber(), 0u);
  controller.Update([](VirtualJoystick::TBatch& b) {
    b.SetAxis(TAxis::X, 1234);
    b.SetButtons(0b101);
    b.SetHat(9000);
  });

  auto checked = MakeEditor<TCheckedIntegerProperty>(&FJoystick, "PositionX");
  auto base = MakeEditor<TIntegerProperty>(&FJoystick, "PositionX");
  EXPECT_EQ(checked->GetValue(), base->GetValue());
  EXPECT_EQ(checked->GetValue(), u"1234");
  EXPECT_EQ(MakeEditor<TCheckedEnumProperty>(&FJoystick, "PointOfViewDirection")->GetValue(),
            u"pdRight");
  EXPECT_EQ(MakeEditor<TCheckedSetProperty>(&FJoystick, "PressedButtons")->GetValue(),
            u"[joButton1,joButton3]");
  EXPECT_EQ(MakeEditor<TCheckedStringProperty>(Caps(), "ProductName")->GetValue(), u"Test Pad");
  EXPECT_EQ(MakeEditor<TCheckedSetProperty>(Caps(), "Flags")->GetValue(),
            u"[cfHasZ,cfHasPointOfView,cfDiscretePointOfView]");
}

TEST_F(JoystickEditorsTest, NothingIsRememberedBetweenReadsAcrossPlugAndUnplug) {
  TVirtualController controller;
  controller.SetAxis(TAxis::Y, 100);
  auto y = MakeEditor<TCheckedIntegerProperty>(&FJoystick, "PositionY");
  auto buttons = MakeEditor<TCheckedSetProperty>(&FJoystick, "PressedButtons");
  EXPECT_EQ(y->GetValue(), u"100");
  controller.Unplug();
  EXPECT_EQ(y->GetValue(), kUnplugged);
  EXPECT_EQ(buttons->GetValue(), kUnplugged);
  controller.Replug();
  EXPECT_EQ(y->GetValue(), u"100");
  EXPECT_EQ(buttons->GetValue(), u"[]");
  controller.SetAxis(TAxis::Y, 200);
  EXPECT_EQ(y->GetValue(), u"200");
}

TEST_F(JoystickEditorsTest, AnyRefusalShowsItsOwnMessageForThatReadOnly) {
  TVirtualController controller;
  JoystickTesting::RefuseCall(TServiceCall::GetPosEx, 0, JOYERR_NOCANDO, 1);
  auto x = MakeEditor<TCheckedIntegerProperty>(&FJoystick, "CenteredX");
  EXPECT_EQ(x->GetValue(), u"(" + MessageOf(JOYERR_NOCANDO) + u")");
  EXPECT_EQ(x->GetValue(), u"32767");

  JoystickTesting::RefuseCall(TServiceCall::GetDevCaps, 0, MMSYSERR_NODRIVER, 1);
  auto driver = MakeEditor<TCheckedStringProperty>(Caps(), "Driver");
  EXPECT_EQ(driver->GetValue(), u"(" + MessageOf(MMSYSERR_NODRIVER) + u")");
  EXPECT_EQ(driver->GetValue(), u"");
}

TEST_F(JoystickEditorsTest, EveryGuardCatchesExceptionAndDescendantsOnlyAndAddsNothing) {
  TFaultySource source;
  using TFault = TFaultySource::TFault;
  auto number = MakeEditor<TCheckedIntegerProperty>(&source, "Number");
  auto text = MakeEditor<TCheckedStringProperty>(&source, "Text");
  auto color = MakeEditor<TCheckedEnumProperty>(&source, "Color");
  auto colors = MakeEditor<TCheckedSetProperty>(&source, "Colors");
  IPropertyPtr blue(new TCheckedSetElementProperty(colors.Get(), clBlue));
  const std::vector<DesignIntf::IProperty*> guarded{number.Get(), text.Get(), color.Get(),
                                                    colors.Get(), blue.Get()};

  source.Fault = TFault::None;
  const std::vector<String> plain{u"42", u"text", u"clGreen", u"[clRed,clBlue]", u"True"};
  for (std::size_t i = 0; i < guarded.size(); ++i) EXPECT_EQ(guarded[i]->GetValue(), plain[i]);

  source.Fault = TFault::EmptyMessage;
  for (auto* e : guarded) EXPECT_EQ(e->GetValue(), u"()");

  source.Fault = TFault::Message;
  for (auto* e : guarded) EXPECT_EQ(e->GetValue(), u"(The device went away.)");

  source.Fault = TFault::Descendant;
  for (auto* e : guarded) EXPECT_EQ(e->GetValue(), u"(Cannot convert.)");

  source.Fault = TFault::Foreign;
  for (auto* e : guarded) EXPECT_THROW(e->GetValue(), TForeignError);

  // One read of the getter per GetValue: the guard does not retry or read twice.
  source.Reads = 0;
  source.Fault = TFault::Message;
  number->GetValue();
  EXPECT_EQ(source.Reads, 1);
}

TEST_F(JoystickEditorsTest, PressedButtonsWithNoControllerGuardsTheSetAndEachOfItsElements) {
  auto buttons = MakeEditor<TCheckedSetProperty>(&FJoystick, "PressedButtons");
  EXPECT_EQ(buttons->GetValue(), kUnplugged);
  JoystickTesting::StartCallLog();
  auto subs = SubPropertiesOf(*buttons);
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty()) << "expanding asked the device";
  ASSERT_EQ(subs.size(), 32u);
  for (std::size_t i = 0; i < subs.size(); ++i) {
    EXPECT_EQ(subs[i]->GetName(), u"joButton" + System::IntToStr(static_cast<int>(i + 1)));
    EXPECT_EQ(ClassNameOf(subs[i]), u"TCheckedSetElementProperty");
    EXPECT_EQ(static_cast<TCheckedSetElementProperty*>(subs[i].Get())->GetElement(),
              static_cast<int>(i));
    EXPECT_EQ(subs[i]->GetValue(), kUnplugged);
  }
  EXPECT_EQ(CallsOf(TServiceCall::GetPosEx), 32u);  // each element read on its own
}

TEST_F(JoystickEditorsTest, FlagsGetSevenElementEditorsInOrderWithoutAskingTheDevice) {
  auto flags = MakeEditor<TCheckedSetProperty>(Caps(), "Flags");
  JoystickTesting::StartCallLog();
  auto subs = SubPropertiesOf(*flags);
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
  EXPECT_EQ(NamesOf(subs),
            (std::vector<String>{u"cfHasZ", u"cfHasR", u"cfHasU", u"cfHasV", u"cfHasPointOfView",
                                 u"cfDiscretePointOfView", u"cfContinuousPointOfView"}));
  for (const auto& s : subs) EXPECT_EQ(ClassNameOf(s), u"TCheckedSetElementProperty");

  // With a device: the elements read its flags, each from its own call.
  VirtualJoystick::TDescription pad;
  pad.WithAxis(TAxis::R);
  TVirtualController controller(pad);
  EXPECT_EQ(subs[0]->GetValue(), u"False");
  EXPECT_EQ(subs[1]->GetValue(), u"True");
}

TEST_F(JoystickEditorsTest, ElementEditorsLiveOnTheirOwnReferences) {
  std::vector<IPropertyPtr> kept;
  {
    auto buttons = MakeEditor<TCheckedSetProperty>(&FJoystick, "PressedButtons");
    int handed = 0;
    auto keepEveryOther = [&](const IPropertyPtr& p) {
      if (handed++ % 2 == 0) kept.push_back(p);  // the others are freed on return
    };
    buttons->GetProperties(DesignIntf::TGetPropProc::Of(keepEveryOther));
    EXPECT_EQ(handed, 32);
  }  // the parent editor is gone
  ASSERT_EQ(kept.size(), 16u);
  EXPECT_EQ(kept[1]->GetName(), u"joButton3");
  EXPECT_EQ(kept[1]->GetValue(), kUnplugged);
}

TEST_F(JoystickEditorsTest, ControllerListsTheAttachedNumbersAscending) {
  TVirtualController first, second, third;
  ASSERT_EQ(third.GetNumber(), 2u);
  second.Unplug();
  auto controller = MakeEditor<TControllerProperty>(&FJoystick, "Controller");
  EXPECT_EQ(controller->GetAttributes().Bits(),
            DesignIntf::TPropertyAttributes{paValueList}.Bits());
  JoystickTesting::StartCallLog();
  EXPECT_EQ(ValuesOf(*controller), (std::vector<String>{u"0", u"2"}));
  EXPECT_EQ(CallsOf(TServiceCall::GetNumDevs), 1u);
  EXPECT_EQ(CallsOf(TServiceCall::GetPos), 16u);
}

TEST_F(JoystickEditorsTest, ControllerNumbersAreDigitsOnly) {
  std::vector<std::unique_ptr<TVirtualController>> pads;
  for (int i = 0; i < 13; ++i) pads.push_back(std::make_unique<TVirtualController>());
  for (int i = 0; i < 12; ++i) pads[static_cast<std::size_t>(i)]->Unplug();
  auto controller = MakeEditor<TControllerProperty>(&FJoystick, "Controller");
  EXPECT_EQ(ValuesOf(*controller), (std::vector<String>{u"12"}));
}

TEST_F(JoystickEditorsTest, ControllerOffersNothingWhenNoneIsAttachedOrTheCountIsZero) {
  auto controller = MakeEditor<TControllerProperty>(&FJoystick, "Controller");
  JoystickTesting::StartCallLog();
  EXPECT_TRUE(ValuesOf(*controller).empty());
  EXPECT_EQ(CallsOf(TServiceCall::GetPos), 16u);

  TVirtualController pad;
  JoystickTesting::RefuseCall(TServiceCall::GetNumDevs, JoystickTesting::AnyController, 0);
  JoystickTesting::StartCallLog();
  EXPECT_TRUE(ValuesOf(*controller).empty());
  EXPECT_EQ(CallsOf(TServiceCall::GetPos), 0u);
}

TEST_F(JoystickEditorsTest, ControllerConsultsOnlyTheFirstSelectedComponent) {
  TVirtualController pad;
  TJoystick second(nullptr);
  TOtherComponent other(nullptr);
  auto list = [&](std::vector<TPersistent*> selection) {
    DesignIntf::TInstPropList props;
    for (TPersistent* o : selection) props.push_back({o, PropOf(*o, "Controller")});
    IPropertyPtr editor(new TControllerProperty(nullptr, props));
    return ValuesOf(*editor);
  };
  JoystickTesting::StartCallLog();
  EXPECT_EQ(list({&FJoystick, &second}), (std::vector<String>{u"0"}));
  EXPECT_EQ(CallsOf(TServiceCall::GetNumDevs), 1u);
  EXPECT_EQ(CallsOf(TServiceCall::GetPos), 16u);
  // Whatever follows the first is never looked at, not even converted...
  EXPECT_EQ(list({&FJoystick, &other}), (std::vector<String>{u"0"}));
  // ...while a first component that is no TJoystick is refused by the conversion.
  EXPECT_THROW(list({&other, &FJoystick}), System::EInvalidCast);
}

TEST_F(JoystickEditorsTest, ControllerReadsAndWritesTheStoredNumberUncheckedAndUnguarded) {
  auto controller = MakeEditor<TControllerProperty>(&FJoystick, "Controller");
  JoystickTesting::StartCallLog();
  EXPECT_EQ(controller->GetValue(), u"0");
  controller->SetValue(u"5");  // no controller 5 exists: not checked against the list
  EXPECT_EQ(FJoystick.GetController(), 5);
  EXPECT_EQ(controller->GetValue(), u"5");
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
  try {
    controller->SetValue(u"abc");
    ADD_FAILURE();
  } catch (const DesignIntf::EPropertyError& e) {
    EXPECT_EQ(Utf8(e.GetMessage()), "'abc' is not a valid integer value for property 'Controller'");
  }
  EXPECT_EQ(FJoystick.GetController(), 5);
}

TEST_F(JoystickEditorsTest, WritingThroughCheckedEditorsReachesTheSetters) {
  TVirtualController pad;
  pad.SetAxis(TAxis::X, 10);
  auto x = MakeEditor<TCheckedIntegerProperty>(&FJoystick, "PositionX");
  EXPECT_NO_THROW(x->SetValue(u"999"));  // the live setter ignores it
  EXPECT_EQ(x->GetValue(), u"10");
  auto threshold = MakeEditor<TCheckedIntegerProperty>(&FJoystick, "Threshold");
  JoystickTesting::StartCallLog();
  threshold->SetValue(u"100");  // in the designer a plain stored number
  EXPECT_EQ(threshold->GetValue(), u"100");
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
}

}  // namespace
}  // namespace vorlane::DesignTests
