// Published-member tables, type information and the class registry.
#include <gtest/gtest.h>

#include "TestComponents.hpp"

using namespace framework_test;
using TypInfo::TTypeKind;

namespace {

std::vector<std::string> Names(const std::vector<const TypInfo::TPropInfo*>& props) {
  std::vector<std::string> names;
  for (const auto* p : props) names.emplace_back(p->Name);
  return names;
}

TEST(PropList, AncestorsFirstInDeclaredOrder) {
  EXPECT_EQ(Names(TypInfo::GetPropList(TComponent::StaticClass())),
            (std::vector<std::string>{"Name", "Tag"}));
  EXPECT_EQ(
      Names(TypInfo::GetPropList(TBigGadget::StaticClass())),
      (std::vector<std::string>{"Name", "Tag", "Count", "Mode", "Flags", "Caption", "Enabled",
                                "Level", "Secret", "Settings", "OnChange", "OnCount", "Size"}));
  const auto* name = TypInfo::GetPropInfo(TBigGadget::StaticClass(), "Name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->PropType, TypInfo::StringTypeInfo());
  EXPECT_TRUE(name->Stored);
  EXPECT_FALSE(name->HasDefault);
  const auto* tag = TypInfo::GetPropInfo(TBigGadget::StaticClass(), "Tag");
  EXPECT_EQ(tag->PropType, TypInfo::IntegerTypeInfo());
  EXPECT_TRUE(tag->HasDefault);
  EXPECT_EQ(tag->Default, 0);
  EXPECT_EQ(TypInfo::GetPropInfo(TGadget::StaticClass(), "Size"), nullptr);
  EXPECT_EQ(TypInfo::GetPropInfo(TGadget::StaticClass(), "count"), nullptr);  // exact match
}

TEST(PropList, StorageAndAccessorsThroughFieldsAndMethods) {
  TTestForm form;
  auto* g = new TGadget(&form);
  const auto& cls = TGadget::StaticClass();
  const auto* secret = TypInfo::GetPropInfo(cls, "Secret");
  EXPECT_FALSE(secret->Stored);
  const auto* mode = TypInfo::GetPropInfo(cls, "Mode");
  EXPECT_EQ(mode->PropType->Kind, TTypeKind::tkEnumeration);
  EXPECT_EQ(mode->Default, 2);
  mode->SetOrd(g, 1);  // method getter, field setter
  EXPECT_EQ(g->FMode, TMode::mdFast);
  EXPECT_EQ(mode->GetOrd(g), 1);
  const auto* flags = TypInfo::GetPropInfo(cls, "Flags");
  EXPECT_EQ(flags->Default, 1);
  flags->SetOrd(g, 6);
  EXPECT_EQ(g->FFlags, (TFlags{TFlag::flGreen, TFlag::flBlue}));
  const auto* count = TypInfo::GetPropInfo(cls, "Count");  // field getter, method setter
  count->SetOrd(g, 12);
  EXPECT_EQ(g->FCount, 12);
  EXPECT_THROW(count->SetOrd(g, 666), System::EConvertError);
  const auto* caption = TypInfo::GetPropInfo(cls, "Caption");
  caption->SetStr(g, u"Hi");
  EXPECT_EQ(caption->GetStr(g), u"Hi");
  const auto* enabled = TypInfo::GetPropInfo(cls, "Enabled");
  EXPECT_EQ(enabled->PropType, TypInfo::BooleanTypeInfo());
  EXPECT_EQ(enabled->Default, 1);
  const auto* settings = TypInfo::GetPropInfo(cls, "Settings");
  EXPECT_EQ(settings->PropType->Data.ClassType, &TSettings::StaticClass());
  EXPECT_EQ(settings->GetObj(g), g->FSettings);
  EXPECT_THROW(settings->SetObj(g, &form), System::EInvalidCast);
  const auto* onChange = TypInfo::GetPropInfo(cls, "OnChange");
  onChange->SetMethod(g, TNotifyEvent::Bind<&TTestForm::GadgetChange>(&form).GetMethod());
  g->FOnChange(g);
  EXPECT_EQ(form.Changes, 1);
}

TEST(TypeInfo, BuiltInTypesAndEnumNames) {
  const auto* integer = TypInfo::IntegerTypeInfo();
  EXPECT_STREQ(integer->Name, "Integer");
  EXPECT_EQ(integer->Data.OrdType, TypInfo::TOrdType::otSLong);
  EXPECT_EQ(integer->Data.MinValue, -2147483648LL);
  EXPECT_EQ(integer->Data.MaxValue, 2147483647LL);
  EXPECT_STREQ(TypInfo::StringTypeInfo()->Name, "string");
  const auto* boolean = TypInfo::BooleanTypeInfo();
  EXPECT_EQ(TypInfo::GetEnumName(boolean, 0), "False");
  EXPECT_EQ(TypInfo::GetEnumName(boolean, 1), "True");
  EXPECT_EQ(TypInfo::GetEnumName(boolean, 2), "");
  EXPECT_EQ(TypInfo::GetEnumValue(boolean, "True"), 1);
  EXPECT_EQ(TypInfo::GetEnumValue(boolean, "true"), -1);
  const auto* mode = TypInfo::TypeInfo<TMode>();
  EXPECT_EQ(TypInfo::GetEnumName(mode, 2), "mdAuto");
  EXPECT_EQ(TypInfo::GetEnumName(mode, -1), "");
  EXPECT_EQ(TypInfo::GetEnumValue(mode, "mdFast"), 1);
  EXPECT_EQ(TypInfo::GetEnumValue(integer, "mdFast"), -1);
}

TEST(Methods, FoundByNameAndByBinding) {
  TTestForm form;
  const auto* change = TypInfo::FindMethod(TTestForm::StaticClass(), "GadgetChange");
  ASSERT_NE(change, nullptr);
  EXPECT_EQ(change->Signature, Closure::SignatureId<void(TObject*)>());
  EXPECT_EQ(TypInfo::FindMethod(TTestForm::StaticClass(), "Missing"), nullptr);
  auto bound = TNotifyEvent::Bind<&TTestForm::GadgetChange>(&form);
  EXPECT_EQ(TypInfo::FindMethodName(&form, bound.GetMethod()), change);
  TTestForm other;
  EXPECT_EQ(TypInfo::FindMethodName(&other, bound.GetMethod()), nullptr);  // other object
  auto unpublished = TNotifyEvent::Bind<&TTestForm::NotPublished>(&form);
  EXPECT_EQ(TypInfo::FindMethodName(&form, unpublished.GetMethod()), nullptr);
  EXPECT_EQ(TypInfo::FindMethodName(&form, {}), nullptr);
}

// Every module asks the one table by the signature's type name, so a name made at
// run time (as another module's copy of the name would be) finds the same id.
TEST(Methods, OneSignatureIdPerSignatureWhoeverAsks) {
  const void* notify = Closure::SignatureId<void(TObject*)>();
  EXPECT_NE(notify, nullptr);
  EXPECT_NE(notify, Closure::SignatureId<void(TObject*, int)>());
  const std::string copy = typeid(void(TObject*)).name();
  EXPECT_EQ(Closure::detail::SignatureIdOf(copy.c_str()), notify);
  EXPECT_EQ(TypInfo::GetTypeData(TypInfo::TypeInfo<TNotifyEvent>())->Signature, notify);
}

TEST(Registry, FindsRegisteredClassesByExactName) {
  EXPECT_EQ(TypInfo::FindClass("TGadget"), &TGadget::StaticClass());
  EXPECT_EQ(TypInfo::FindClass("tgadget"), nullptr);
  EXPECT_EQ(TypInfo::FindClass("TTestForm"), nullptr);
  TypInfo::RegisterClass(TGadget::StaticClass());  // again: no change
  static const TClassInfo impostor("TGadget", &TComponent::StaticClass());
  EXPECT_THROW(TypInfo::RegisterClass(impostor), System::Exception);
  EXPECT_EQ(TypInfo::FindClass("TGadget"), &TGadget::StaticClass());
  {
    TypInfo::TClassRegistration<TTestForm> scoped;
    EXPECT_EQ(TypInfo::FindClass("TTestForm"), &TTestForm::StaticClass());
  }
  EXPECT_EQ(TypInfo::FindClass("TTestForm"), nullptr);
}

}  // namespace
