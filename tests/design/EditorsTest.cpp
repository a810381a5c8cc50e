// The framework's standard property editors: reading, parsing and writing values,
// value lists, sub-properties, selections of several objects.
#include "DesignSupport.hpp"

namespace vorlane::DesignTests {
namespace {

using namespace DesignEditors;
using DesignIntf::EPropertyError;
using DesignIntf::paMultiSelect;
using DesignIntf::paReadOnly;
using DesignIntf::paSortList;
using DesignIntf::paSubProperties;
using DesignIntf::paValueList;

// The message of the EPropertyError that `f` raises, or a failure.
template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const EPropertyError& e) {
    return Utf8(e.GetMessage());
  }
  ADD_FAILURE() << "no EPropertyError";
  return {};
}

TEST(IntegerEditor, ReadsAndParsesDecimalAndHexWithinTheTypesRange) {
  TWidget w(nullptr);
  TTestDesigner designer;
  auto e = MakeEditor<TIntegerProperty>(&w, "Count", &designer);
  w.Count = -17;
  EXPECT_EQ(e->GetValue(), u"-17");

  e->SetValue(u" 42 ");
  EXPECT_EQ(w.Count, 42);
  e->SetValue(u"$FF");
  EXPECT_EQ(w.Count, 255);
  e->SetValue(u"-2147483648");
  EXPECT_EQ(w.Count, INT32_MIN);
  e->SetValue(u"+2147483647");
  EXPECT_EQ(w.Count, INT32_MAX);
  EXPECT_EQ(designer.ModifiedCount, 4);
}

TEST(IntegerEditor, RejectsBadTextNamingTextAndPropertyAndLeavesTheValue) {
  TWidget w(nullptr);
  w.Count = 5;
  auto e = MakeEditor<TIntegerProperty>(&w, "Count");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"abc"); }),
            "'abc' is not a valid integer value for property 'Count'");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u""); }),
            "'' is not a valid integer value for property 'Count'");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"12x"); }),
            "'12x' is not a valid integer value for property 'Count'");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"-"); }),
            "'-' is not a valid integer value for property 'Count'");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"2147483648"); }),
            "'2147483648' is out of range for property 'Count' (-2147483648 to 2147483647)");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"99999999999999999999999"); }),
            "'99999999999999999999999' is out of range for property 'Count' "
            "(-2147483648 to 2147483647)");
  EXPECT_EQ(w.Count, 5);
}

TEST(EnumEditor, NamesValuesAndParsing) {
  TWidget w(nullptr);
  w.Color = clBlue;
  auto e = MakeEditor<TEnumProperty>(&w, "Color");
  EXPECT_EQ(e->GetValue(), u"clBlue");
  EXPECT_EQ(ValuesOf(*e), (std::vector<String>{u"clRed", u"clGreen", u"clBlue"}));
  EXPECT_TRUE(e->GetAttributes().Contains(paValueList));

  e->SetValue(u"clGreen");
  EXPECT_EQ(w.Color, clGreen);
  e->SetValue(u"CLRED");  // the one name that matches ignoring case
  EXPECT_EQ(w.Color, clRed);
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"clPink"); }),
            "'clPink' is not a valid value for property 'Color' (clRed, clGreen, clBlue)");
  EXPECT_EQ(w.Color, clRed);

  // An ordinal with no name shows as its number rather than as nothing.
  w.Color = static_cast<TColor>(9);
  EXPECT_EQ(e->GetValue(), u"9");
}

TEST(BooleanEditor, FalseTrue) {
  TWidget w(nullptr);
  auto e = MakeEditor<TBooleanProperty>(&w, "Enabled");
  EXPECT_EQ(e->GetValue(), u"False");
  EXPECT_EQ(ValuesOf(*e), (std::vector<String>{u"False", u"True"}));
  e->SetValue(u"true");
  EXPECT_TRUE(w.Enabled);
  EXPECT_EQ(e->GetValue(), u"True");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"yes"); }),
            "'yes' is not a valid value for property 'Enabled' (False, True)");
}

TEST(SetEditor, TextAndElementSubEditors) {
  TWidget w(nullptr);
  w.Colors = {clRed, clBlue};
  auto e = MakeEditor<TSetProperty>(&w, "Colors");
  EXPECT_EQ(e->GetValue(), u"[clRed,clBlue]");
  EXPECT_TRUE(e->GetAttributes().Contains(paSubProperties));

  auto subs = SubPropertiesOf(*e);
  ASSERT_EQ(NamesOf(subs), (std::vector<String>{u"clRed", u"clGreen", u"clBlue"}));
  EXPECT_EQ(subs[0]->GetValue(), u"True");
  EXPECT_EQ(subs[1]->GetValue(), u"False");
  EXPECT_EQ(ClassNameOf(subs[1]), u"TSetElementProperty");
  EXPECT_TRUE(subs[1]->GetAttributes().Contains(paValueList));
  EXPECT_EQ(ValuesOf(*subs[1]), (std::vector<String>{u"False", u"True"}));

  subs[1]->SetValue(u"True");
  subs[0]->SetValue(u"False");
  EXPECT_EQ(w.Colors, (TColors{clGreen, clBlue}));
  // Element editors live on after their parent and read the object afresh.
  e = nullptr;
  w.Colors = {};
  EXPECT_EQ(subs[2]->GetValue(), u"False");

  auto again = MakeEditor<TSetProperty>(&w, "Colors");
  again->SetValue(u" [ clGreen , clRed ] ");
  EXPECT_EQ(w.Colors, (TColors{clRed, clGreen}));
  again->SetValue(u"[]");
  EXPECT_EQ(again->GetValue(), u"[]");
  EXPECT_EQ(ErrorOf([&] { again->SetValue(u"[clRed, clPink]"); }),
            "'[clRed, clPink]' is not a valid value for property 'Colors': 'clPink' is not an "
            "element of TColor");
  EXPECT_EQ(ErrorOf([&] { again->SetValue(u"clRed"); }),
            "'clRed' is not a valid value for property 'Colors': expected [element, ...] with "
            "elements of TColor");
  EXPECT_EQ(ErrorOf([&] { again->SetValue(u"[clRed,]"); }),
            "'[clRed,]' is not a valid value for property 'Colors': an element name is missing "
            "after ','");
  EXPECT_TRUE(w.Colors.Empty());
}

TEST(SetElementEditor, WritesEachSelectedObjectKeepingItsOtherElements) {
  TWidget a(nullptr), b(nullptr);
  a.Colors = {clRed};
  b.Colors = {clBlue};
  auto set = MakeEditor<TSetProperty>({&a, &b}, "Colors");
  IPropertyPtr green(new TSetElementProperty(set.Get(), clGreen));
  green->SetValue(u"True");
  EXPECT_EQ(a.Colors, (TColors{clRed, clGreen}));
  EXPECT_EQ(b.Colors, (TColors{clGreen, clBlue}));
  EXPECT_EQ(ErrorOf([&] { green->SetValue(u"maybe"); }),
            "'maybe' is not a valid value for property 'clGreen' (False, True)");
}

TEST(SetElementEditor, RefusesAnElementOutsideTheTypeOrANonSetProperty) {
  TWidget w(nullptr);
  auto set = MakeEditor<TSetProperty>(&w, "Colors");
  EXPECT_THROW(TSetElementProperty(set.Get(), 3), EPropertyError);
  auto integer = MakeEditor<TIntegerProperty>(&w, "Count");
  EXPECT_THROW(TSetElementProperty(integer.Get(), 0), EPropertyError);
  EXPECT_THROW(TSetElementProperty(nullptr, 0), EPropertyError);
}

TEST(StringEditor, TextAsIs) {
  TWidget w(nullptr);
  auto e = MakeEditor<TStringProperty>(&w, "Caption");
  e->SetValue(u"  Pad 'one' \u00e9 ");
  EXPECT_EQ(w.Caption, u"  Pad 'one' \u00e9 ");
  EXPECT_EQ(e->GetValue(), u"  Pad 'one' \u00e9 ");
}

TEST(ClassEditor, ExpandsTheSubObjectsPropertiesWithTheirOwnEditors) {
  TWidget w(nullptr);
  auto e = MakeEditor<TClassProperty>(&w, "Font");
  EXPECT_EQ(e->GetValue(), u"(TFont)");
  EXPECT_TRUE(e->GetAttributes().Contains(paSubProperties));
  EXPECT_TRUE(e->GetAttributes().Contains(paReadOnly));
  auto subs = SubPropertiesOf(*e);
  ASSERT_EQ(NamesOf(subs), (std::vector<String>{u"Size", u"Face"}));
  EXPECT_EQ(ClassNameOf(subs[0]), u"TIntegerProperty");
  EXPECT_EQ(ClassNameOf(subs[1]), u"TStringProperty");
  subs[0]->SetValue(u"12");
  EXPECT_EQ(w.GetFont()->Size, 12);
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"x"); }), "Property 'Font' cannot be set from text.");
}

TEST(ComponentEditor, NamesComponentsOfTheRoot) {
  TFormRoot root(nullptr);
  auto* a = new TWidget(&root);
  a->SetName(u"WidgetA");
  auto* b = new TSpecialWidget(&root);
  b->SetName(u"WidgetB");
  (new TComponent(&root))->SetName(u"NotAWidget");
  auto e = MakeEditor<TComponentProperty>(a, "Buddy");
  EXPECT_EQ(e->GetValue(), u"");
  EXPECT_EQ(ValuesOf(*e), (std::vector<String>{u"WidgetA", u"WidgetB"}));
  e->SetValue(u"widgetb");
  EXPECT_EQ(a->Buddy, b);
  EXPECT_EQ(e->GetValue(), u"WidgetB");
  EXPECT_THROW(e->SetValue(u"NotAWidget"), EPropertyError);
  EXPECT_EQ(a->Buddy, b);
  e->SetValue(u"");
  EXPECT_EQ(a->Buddy, nullptr);
}

TEST(MethodEditor, BindsPublishedMethodsOfTheRootThatFitTheEvent) {
  TFormRoot root(nullptr);
  auto* w = new TWidget(&root);
  auto e = MakeEditor<TMethodProperty>(w, "OnChange");
  EXPECT_EQ(e->GetValue(), u"");
  EXPECT_EQ(ValuesOf(*e), (std::vector<String>{u"WidgetChanged", u"OtherChanged"}));

  e->SetValue(u"OtherChanged");
  EXPECT_TRUE(w->OnChange.Assigned());
  EXPECT_EQ(w->OnChange.GetData(), &root);
  EXPECT_EQ(e->GetValue(), u"OtherChanged");

  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"IndexPicked"); }),
            "Method 'IndexPicked' of TFormRoot does not fit event 'OnChange' (TNotifyEvent)");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"Missing"); }),
            "'Missing' is not a published method of TFormRoot (event 'OnChange')");
  EXPECT_EQ(e->GetValue(), u"OtherChanged");

  // A handler that is no published method of the root is shown as assigned.
  auto lambda = [](TObject*) {};
  w->OnChange = TNotifyEvent::Of(lambda);
  EXPECT_EQ(e->GetValue(), u"(assigned)");

  e->SetValue(u"");
  EXPECT_FALSE(w->OnChange.Assigned());
}

TEST(PropertyEditor, ReadOnlyPropertiesAndSelectionIndexesAreChecked) {
  TWidget w(nullptr);
  auto e = MakeEditor<TIntegerProperty>(&w, "ReadOnlyCount");
  EXPECT_EQ(e->GetValue(), u"7");
  EXPECT_EQ(ErrorOf([&] { e->SetValue(u"3"); }), "Property 'ReadOnlyCount' is read-only.");
  EXPECT_EQ(e->GetComponent(0), &w);
  EXPECT_THROW(e->GetComponent(1), EPropertyError);
  EXPECT_THROW(e->GetComponent(-1), EPropertyError);
  EXPECT_THROW(TIntegerProperty(nullptr, {}), EPropertyError);
  EXPECT_THROW(TIntegerProperty(nullptr, {{nullptr, PropOf(w, "Count")}}), EPropertyError);
}

TEST(PropertyEditor, SeveralObjectsReadTheFirstAndWriteAll) {
  TWidget a(nullptr), b(nullptr);
  a.Count = 1;
  b.Count = 2;
  auto e = MakeEditor<TIntegerProperty>({&a, &b}, "Count");
  EXPECT_EQ(e->GetPropCount(), 2);
  EXPECT_EQ(e->GetComponent(1), &b);
  EXPECT_EQ(e->GetValue(), u"1");
  e->SetValue(u"9");
  EXPECT_EQ(a.Count, 9);
  EXPECT_EQ(b.Count, 9);
}

}  // namespace
}  // namespace vorlane::DesignTests
