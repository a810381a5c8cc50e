// The designer's registries and the choice of an editor for a property.
#include "DesignSupport.hpp"

namespace vorlane::DesignTests {
namespace {

using namespace DesignEditors;
using DesignIntf::EPropertyError;
using DesignIntf::GetPropertyEditorRegistrations;
using DesignIntf::RegisterPropertyEditor;
using DesignIntf::RegisterPropertyMapper;
using DesignIntf::TPropertyEditorClass;

class TCountProperty : public TIntegerProperty {
 public:
  using TIntegerProperty::TIntegerProperty;
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TClassInfo info("TCountProperty", &TIntegerProperty::StaticClass());
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};
class TOtherProperty : public TIntegerProperty {
 public:
  using TIntegerProperty::TIntegerProperty;
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TClassInfo info("TOtherProperty", &TIntegerProperty::StaticClass());
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

const TypInfo::PTypeInfo Integer_ = TypInfo::IntegerTypeInfo();

String Chosen(TPersistent& object, const char* name) {
  return GetEditorClass(&object, PropOf(object, name)).Name();
}

using RegistryTest = DesignTest;

TEST_F(RegistryTest, PaletteKeepsPageAndClassOrderWithoutDuplicates) {
  DesignIntf::RegisterComponents(u"Standard", {&TWidget::StaticClass()});
  DesignIntf::RegisterComponents(u"Extra", {&TFormRoot::StaticClass()});
  DesignIntf::RegisterComponents(u"Standard",
                                 {&TSpecialWidget::StaticClass(), &TWidget::StaticClass()});
  auto palette = DesignIntf::GetPalette();
  ASSERT_EQ(palette.size(), 2u);
  EXPECT_EQ(palette[0].Name, u"Standard");
  EXPECT_EQ(palette[0].Classes, (std::vector<const TypInfo::TClassInfo*>{
                                    &TWidget::StaticClass(), &TSpecialWidget::StaticClass()}));
  EXPECT_EQ(palette[1].Name, u"Extra");
  // Registered for form reading too.
  EXPECT_EQ(TypInfo::FindClass("TSpecialWidget"), &TSpecialWidget::StaticClass());
}

TEST_F(RegistryTest, PaletteRefusesWhatIsNotAComponentClassAndRegistersNothingThen) {
  EXPECT_THROW(DesignIntf::RegisterComponents(u"", {&TWidget::StaticClass()}), EPropertyError);
  EXPECT_THROW(DesignIntf::RegisterComponents(u"P", {&TWidget::StaticClass(), nullptr}),
               EPropertyError);
  try {
    DesignIntf::RegisterComponents(u"P", {&TWidget::StaticClass(), &TFont::StaticClass()});
    ADD_FAILURE();
  } catch (const EPropertyError& e) {
    EXPECT_EQ(Utf8(e.GetMessage()),
              "Cannot put TFont on palette page 'P': it is not a component class.");
  }
  EXPECT_TRUE(DesignIntf::GetPalette().empty());
}

TEST_F(RegistryTest, RegistrationsAreListedInOrderAndClearedForTests) {
  RegisterPropertyEditor(Integer_, &TWidget::StaticClass(), u"Count",
                         EditorClassOf<TCountProperty>());
  RegisterPropertyEditor(Integer_, nullptr, u"", EditorClassOf<TOtherProperty>());
  auto list = GetPropertyEditorRegistrations();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].PropertyType, Integer_);
  EXPECT_EQ(list[0].ComponentClass, &TWidget::StaticClass());
  EXPECT_EQ(list[0].PropertyName, u"Count");
  EXPECT_EQ(list[0].EditorClass.Name(), u"TCountProperty");
  EXPECT_EQ(list[1].ComponentClass, nullptr);
  EXPECT_EQ(list[1].EditorClass, EditorClassOf<TOtherProperty>());

  EXPECT_THROW(RegisterPropertyEditor(nullptr, nullptr, u"X", EditorClassOf<TCountProperty>()),
               EPropertyError);
  EXPECT_THROW(RegisterPropertyEditor(Integer_, nullptr, u"X", {}), EPropertyError);
  EXPECT_THROW(RegisterPropertyMapper(nullptr), EPropertyError);

  DesignIntf::ClearRegistrations();
  EXPECT_TRUE(GetPropertyEditorRegistrations().empty());
}

TEST_F(RegistryTest, DefaultEditorsByKind) {
  TWidget w(nullptr);
  EXPECT_EQ(Chosen(w, "Count"), u"TIntegerProperty");
  EXPECT_EQ(Chosen(w, "Color"), u"TEnumProperty");
  EXPECT_EQ(Chosen(w, "Enabled"), u"TBooleanProperty");
  EXPECT_EQ(Chosen(w, "Colors"), u"TSetProperty");
  EXPECT_EQ(Chosen(w, "Caption"), u"TStringProperty");
  EXPECT_EQ(Chosen(w, "Font"), u"TClassProperty");
  EXPECT_EQ(Chosen(w, "Buddy"), u"TComponentProperty");
  EXPECT_EQ(Chosen(w, "OnChange"), u"TMethodProperty");
}

TEST_F(RegistryTest, TheMostSpecificRegistrationWins) {
  TWidget w(nullptr);
  TSpecialWidget s(nullptr);
  // Any Integer property anywhere.
  RegisterPropertyEditor(Integer_, nullptr, u"", EditorClassOf<TOtherProperty>());
  EXPECT_EQ(Chosen(w, "Count"), u"TOtherProperty");
  // A named property beats any name, even when registered for a shallower class.
  RegisterPropertyEditor(Integer_, nullptr, u"Count", EditorClassOf<TCountProperty>());
  RegisterPropertyEditor(Integer_, &TSpecialWidget::StaticClass(), u"",
                         EditorClassOf<TOtherProperty>());
  EXPECT_EQ(Chosen(s, "Count"), u"TCountProperty");
  EXPECT_EQ(Chosen(s, "Tag"), u"TOtherProperty");
  // With the name equal, the deeper component class wins, whatever the order.
  RegisterPropertyEditor(Integer_, &TSpecialWidget::StaticClass(), u"Count",
                         EditorClassOf<TOtherProperty>());
  RegisterPropertyEditor(Integer_, &TWidget::StaticClass(), u"Count",
                         EditorClassOf<TCountProperty>());
  EXPECT_EQ(Chosen(s, "Count"), u"TOtherProperty");
  EXPECT_EQ(Chosen(w, "Count"), u"TCountProperty");
  // Names match exactly.
  RegisterPropertyEditor(Integer_, nullptr, u"count", EditorClassOf<TOtherProperty>());
  EXPECT_EQ(Chosen(w, "Count"), u"TCountProperty");
  // Of equally specific registrations the later wins.
  RegisterPropertyEditor(Integer_, &TWidget::StaticClass(), u"Count",
                         EditorClassOf<TOtherProperty>());
  EXPECT_EQ(Chosen(w, "Count"), u"TOtherProperty");
}

TEST_F(RegistryTest, AClassTypeRegistrationServesDescendantTypesButAnExactTypeWins) {
  TWidget w(nullptr);
  RegisterPropertyEditor(TPersistent::StaticClass().TypeInfo(), nullptr, u"",
                         EditorClassOf<TStringProperty>());
  EXPECT_EQ(Chosen(w, "Font"), u"TStringProperty");
  RegisterPropertyEditor(TFont::StaticClass().TypeInfo(), nullptr, u"",
                         EditorClassOf<TClassProperty>());
  EXPECT_EQ(Chosen(w, "Font"), u"TClassProperty");
  // A registration for another type is ignored, even when it names the property.
  RegisterPropertyEditor(Integer_, nullptr, u"Font", EditorClassOf<TCountProperty>());
  EXPECT_EQ(Chosen(w, "Font"), u"TClassProperty");
}

TPropertyEditorClass AnswerCount(TPersistent*, const TypInfo::TPropInfo* p) {
  return std::string_view(p->Name) == "Count" ? EditorClassOf<TCountProperty>()
                                              : TPropertyEditorClass();
}
TPropertyEditorClass AnswerEverything(TPersistent*, const TypInfo::TPropInfo*) {
  return EditorClassOf<TOtherProperty>();
}

TEST_F(RegistryTest, AMapperThatAnswersWinsOverRegistrationsAndTheLastMapperIsAskedFirst) {
  TWidget w(nullptr);
  RegisterPropertyEditor(Integer_, &TWidget::StaticClass(), u"Count",
                         EditorClassOf<TOtherProperty>());
  RegisterPropertyMapper(&AnswerCount);
  EXPECT_EQ(Chosen(w, "Count"), u"TCountProperty");
  // A mapper that answers none leaves the choice to the registrations and defaults.
  EXPECT_EQ(Chosen(w, "Caption"), u"TStringProperty");
  RegisterPropertyMapper(&AnswerEverything);
  EXPECT_EQ(Chosen(w, "Count"), u"TOtherProperty");
  EXPECT_EQ(DesignIntf::GetPropertyMappers(),
            (std::vector<DesignIntf::TPropertyMapperFunc>{&AnswerCount, &AnswerEverything}));
}

TEST_F(RegistryTest, ComponentPropertiesOfASelection) {
  TWidget a(nullptr);
  TSpecialWidget b(nullptr);
  TFont font;
  TTestDesigner designer;
  std::vector<TPersistent*> one{&a};
  std::vector<IPropertyPtr> props;
  auto collect = [&](const IPropertyPtr& p) { props.push_back(p); };
  GetComponentProperties(one, &designer, DesignIntf::TGetPropProc::Of(collect));
  EXPECT_EQ(NamesOf(props), (std::vector<String>{u"Name", u"Tag", u"Count", u"Color", u"Colors",
                                                 u"Caption", u"Enabled", u"Font", u"Buddy",
                                                 u"OnChange", u"OnIndex", u"ReadOnlyCount"}));

  // Two widgets share every property; a TFont shares none with a widget.
  props.clear();
  std::vector<TPersistent*> two{&a, &b};
  GetComponentProperties(two, &designer, DesignIntf::TGetPropProc::Of(collect));
  EXPECT_EQ(props.size(), 12u);
  props.clear();
  std::vector<TPersistent*> mixed{&a, &font};
  GetComponentProperties(mixed, &designer, DesignIntf::TGetPropProc::Of(collect));
  EXPECT_TRUE(props.empty());

  // An editor without paMultiSelect is left out when several objects are selected.
  class TSingleProperty : public TIntegerProperty {
   public:
    using TIntegerProperty::TIntegerProperty;
    DesignIntf::TPropertyAttributes GetAttributes() override { return {}; }
    static const TypInfo::TClassInfo& StaticClass() {
      static const TypInfo::TClassInfo info("TSingleProperty", &TIntegerProperty::StaticClass());
      return info;
    }
  };
  RegisterPropertyEditor(Integer_, nullptr, u"Count", EditorClassOf<TSingleProperty>());
  props.clear();
  GetComponentProperties(two, &designer, DesignIntf::TGetPropProc::Of(collect));
  EXPECT_EQ(props.size(), 11u);
  props.clear();
  GetComponentProperties(one, &designer, DesignIntf::TGetPropProc::Of(collect));
  EXPECT_EQ(props.size(), 12u);
}

}  // namespace
}  // namespace vorlane::DesignTests
