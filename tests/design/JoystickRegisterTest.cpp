// JoystickDesign::Register and the property mapper, checked through the designer's
// registries and the editor choice.
#include <set>

#include "DesignSupport.hpp"
#include "vorlane/Joystick.hpp"
#include "vorlane/JoystickDesign.hpp"

namespace vorlane::DesignTests {
namespace {

using DesignEditors::GetEditorClass;
using Joystick::TCapabilities;
using Joystick::TJoystick;

class JoystickRegisterTest : public DesignTest {
 protected:
  void SetUp() override {
    DesignTest::SetUp();
    JoystickDesign::Register();
  }
};

TEST_F(JoystickRegisterTest, PutsTJoystickAloneOnThePageVorlane) {
  auto palette = DesignIntf::GetPalette();
  ASSERT_EQ(palette.size(), 1u);
  EXPECT_EQ(palette[0].Name, u"Vorlane");
  EXPECT_EQ(palette[0].Classes,
            (std::vector<const TypInfo::TClassInfo*>{&TJoystick::StaticClass()}));
  EXPECT_EQ(TypInfo::FindClass("TJoystick"), &TJoystick::StaticClass());
}

TEST_F(JoystickRegisterTest, MakesTheFortyTwoBindingsInOrder) {
  struct TRow {
    const char* Type;
    const char* Class;
    const char* Name;
    const char* Editor;
  };
  const char* const I = "Integer";
  const char* const J = "TJoystick";
  const char* const C = "TCapabilities";
  const char* const CI = "TCheckedIntegerProperty";
  const char* const CS = "TCheckedStringProperty";
  const std::vector<TRow> expected = {
      {I, J, "Controller", "TControllerProperty"},
      {I, J, "CenteredR", CI},
      {I, J, "CenteredU", CI},
      {I, J, "CenteredV", CI},
      {I, J, "CenteredX", CI},
      {I, J, "CenteredY", CI},
      {I, J, "CenteredZ", CI},
      {I, J, "PositionR", CI},
      {I, J, "PositionU", CI},
      {I, J, "PositionV", CI},
      {I, J, "PositionX", CI},
      {I, J, "PositionY", CI},
      {I, J, "PositionZ", CI},
      {I, J, "PointOfView", CI},
      {"TPointOfViewDirection", J, "PointOfViewDirection", "TCheckedEnumProperty"},
      {I, J, "PressedButtonCount", CI},
      {"TButtons", J, "PressedButtons", "TCheckedSetProperty"},
      {I, J, "Threshold", CI},
      {I, C, "AxesCount", CI},
      {I, C, "ButtonCount", CI},
      {"string", C, "Driver", CS},
      {"TCapabilityFlags", C, "Flags", "TCheckedSetProperty"},
      {I, C, "Manufacturer", CI},
      {I, C, "MaxAxes", CI},
      {I, C, "MaxButtons", CI},
      {I, C, "MaxPeriod", CI},
      {I, C, "MaxR", CI},
      {I, C, "MaxU", CI},
      {I, C, "MaxV", CI},
      {I, C, "MaxX", CI},
      {I, C, "MaxY", CI},
      {I, C, "MaxZ", CI},
      {I, C, "MinPeriod", CI},
      {I, C, "MinR", CI},
      {I, C, "MinU", CI},
      {I, C, "MinV", CI},
      {I, C, "MinX", CI},
      {I, C, "MinY", CI},
      {I, C, "MinZ", CI},
      {I, C, "Product", CI},
      {"string", C, "ProductName", CS},
      {"string", C, "RegistryKey", CS},
  };
  const auto actual = DesignIntf::GetPropertyEditorRegistrations();
  ASSERT_EQ(actual.size(), 42u);
  ASSERT_EQ(expected.size(), 42u);
  for (std::size_t i = 0; i < actual.size(); ++i) {
    SCOPED_TRACE("binding " + std::to_string(i + 1));
    const auto& a = actual[i];
    ASSERT_NE(a.ComponentClass, nullptr);
    EXPECT_STREQ(a.PropertyType->Name, expected[i].Type);
    EXPECT_STREQ(a.ComponentClass->Name, expected[i].Class);
    EXPECT_EQ(Utf8(a.PropertyName), expected[i].Name);
    EXPECT_EQ(Utf8(a.EditorClass.Name()), expected[i].Editor);
    // The registered type is the published property's very type, so the binding applies.
    const TypInfo::TPropInfo* p = TypInfo::GetPropInfo(*a.ComponentClass, expected[i].Name);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->PropType, a.PropertyType);
  }
}

TEST_F(JoystickRegisterTest, EveryPublishedPropertyOfTCapabilitiesIsBound) {
  std::set<std::string> bound;
  for (const auto& r : DesignIntf::GetPropertyEditorRegistrations())
    if (r.ComponentClass == &TCapabilities::StaticClass()) bound.insert(Utf8(r.PropertyName));
  std::set<std::string> published;
  for (const auto* p : TypInfo::GetPropList(TCapabilities::StaticClass()))
    published.insert(p->Name);
  EXPECT_EQ(bound, published);
  EXPECT_EQ(bound.size(), 24u);
}

TEST_F(JoystickRegisterTest, TheDesignerChoosesTheBoundEditorsAndDefaultsForTheRest) {
  TJoystick joystick(nullptr);
  TPersistent* caps = joystick.GetCapabilities();
  auto chosen = [](TPersistent* object, const char* name) {
    return Utf8(GetEditorClass(object, PropOf(*object, name)).Name());
  };
  EXPECT_EQ(chosen(&joystick, "Controller"), "TControllerProperty");
  EXPECT_EQ(chosen(&joystick, "Threshold"), "TCheckedIntegerProperty");
  EXPECT_EQ(chosen(&joystick, "PointOfView"), "TCheckedIntegerProperty");
  EXPECT_EQ(chosen(&joystick, "PointOfViewDirection"), "TCheckedEnumProperty");
  EXPECT_EQ(chosen(&joystick, "PressedButtons"), "TCheckedSetProperty");
  EXPECT_EQ(chosen(caps, "Driver"), "TCheckedStringProperty");
  EXPECT_EQ(chosen(caps, "Flags"), "TCheckedSetProperty");
  EXPECT_EQ(chosen(caps, "MinPeriod"), "TCheckedIntegerProperty");

  EXPECT_EQ(chosen(&joystick, "EventMode"), "TEnumProperty");
  EXPECT_EQ(chosen(&joystick, "PollingPeriod"), "TIntegerProperty");
  EXPECT_EQ(chosen(&joystick, "RawData"), "TBooleanProperty");
  EXPECT_EQ(chosen(&joystick, "Active"), "TBooleanProperty");
  EXPECT_EQ(chosen(&joystick, "About"), "TStringProperty");
  EXPECT_EQ(chosen(&joystick, "Capabilities"), "TClassProperty");
  EXPECT_EQ(chosen(&joystick, "Name"), "TStringProperty");
  EXPECT_EQ(chosen(&joystick, "Tag"), "TIntegerProperty");
  for (const char* event : {"OnButtonDown", "OnButtonUp", "OnMove", "OnMoveZ"})
    EXPECT_EQ(chosen(&joystick, event), "TMethodProperty") << event;
}

TEST_F(JoystickRegisterTest, TheMapperIsInstalledAndAnswersExactSetNamesForAnyClass) {
  const auto mappers = DesignIntf::GetPropertyMappers();
  ASSERT_EQ(mappers.size(), 1u);
  const auto mapper = mappers[0];
  EXPECT_EQ(mapper, &JoystickDesign::MapCheckedSetProperty);

  auto prop = [](TypInfo::PTypeInfo type, const char* name) {
    TypInfo::TPropInfo p;
    p.PropType = type;
    p.Name = name;
    return p;
  };
  const TypInfo::PTypeInfo colors = TypInfo::TypeInfo<TColors>();  // a set outside the package
  TJoystick joystick(nullptr);
  TWidget widget(nullptr);
  TFont font;
  for (TPersistent* object : std::vector<TPersistent*>{nullptr, &joystick, &widget, &font}) {
    SCOPED_TRACE(object != nullptr ? Utf8(object->ClassName()) : "nil");
    for (const char* name : {"PressedButtons", "Flags"}) {
      const auto p = prop(colors, name);
      EXPECT_EQ(mapper(object, &p).Name(), u"TCheckedSetProperty") << name;
    }
    for (const char* name :
         {"pressedbuttons", "PRESSEDBUTTONS", "PressedButton", "PressedButtonss", "flags", "FLAGS",
          "Flag", "Flagss", "Flags ", " Flags", "", "PressedButtonCount"}) {
      const auto p = prop(colors, name);
      EXPECT_FALSE(mapper(object, &p)) << '"' << name << '"';
    }
    const auto integerFlags = prop(TypInfo::IntegerTypeInfo(), "Flags");
    EXPECT_FALSE(mapper(object, &integerFlags));
    const auto stringButtons = prop(TypInfo::StringTypeInfo(), "PressedButtons");
    EXPECT_FALSE(mapper(object, &stringButtons));
  }

  // Through the designer's choice, for a class outside the package: the mapper's
  // answer replaces the default set editor.
  const auto flags = prop(colors, "Flags");
  EXPECT_EQ(GetEditorClass(&widget, &flags).Name(), u"TCheckedSetProperty");
  EXPECT_EQ(GetEditorClass(&widget, PropOf(widget, "Colors")).Name(), u"TSetProperty");
}

}  // namespace
}  // namespace vorlane::DesignTests
