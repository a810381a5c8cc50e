#include "DesignSupport.hpp"

namespace vorlane::DesignTests {

using TypInfo::NoDefault;
using TypInfo::NotStored;
using TypInfo::Property;
using TypInfo::PTypeInfo;
using TypInfo::TClassInfo;
using TypInfo::TPropInfo;
using TypInfo::TTypeInfo;

PTypeInfo VorlaneTypeInfo(TColor*) {
  static const char* const names[] = {"clRed", "clGreen", "clBlue"};
  static const TTypeInfo info = TypInfo::EnumType("TColor", names);
  return &info;
}

PTypeInfo VorlaneTypeInfo(TColors*) {
  static const TTypeInfo info =
      TypInfo::SetType("TColors", TypInfo::TypeInfo<TColor>(), TypInfo::TOrdType::otUByte);
  return &info;
}

PTypeInfo VorlaneTypeInfo(TNotifyEvent*) {
  static const TTypeInfo info = TypInfo::MethodType<TNotifyEvent>("TNotifyEvent");
  return &info;
}

PTypeInfo VorlaneTypeInfo(TIndexEvent*) {
  static const TTypeInfo info = TypInfo::MethodType<TIndexEvent>("TIndexEvent");
  return &info;
}

const TClassInfo& TFont::StaticClass() {
  static const TPropInfo props[] = {
      Property<&TFont::Size, &TFont::Size>("Size", TypInfo::Default(8)),
      Property<&TFont::Face, &TFont::Face>("Face", NoDefault),
  };
  static const TClassInfo info("TFont", &TPersistent::StaticClass(), {.Properties = props});
  return info;
}

namespace {

std::int64_t ReadOnlyCountOrd(TObject* o) {
  return static_cast<TWidget*>(o)->ReadOnlyCount();
}

// A property of the class's own type: TypInfo::Property would ask for the class's
// type information while it is being made, so the type is filled in afterwards.
template <class C, C* C::*Field>
TPropInfo SelfReference(const char* name) {
  TPropInfo p;
  p.Name = name;
  p.GetObj = [](TObject* o) -> TObject* { return static_cast<C*>(o)->*Field; };
  p.SetObj = [](TObject* o, TObject* v) { static_cast<C*>(o)->*Field = System::As<C>(v); };
  p.Stored = false;
  return p;
}

}  // namespace

const TClassInfo& TWidget::StaticClass() {
  using T = TWidget;
  static TPropInfo props[] = {
      Property<&T::Count, &T::Count>("Count", TypInfo::Default(0)),
      Property<&T::Color, &T::Color>("Color", TypInfo::Default(clRed)),
      Property<&T::Colors, &T::Colors>("Colors", NoDefault),
      Property<&T::Caption, &T::Caption>("Caption", NoDefault),
      Property<&T::Enabled, &T::Enabled>("Enabled", TypInfo::Default(false)),
      Property<&T::GetFont, &T::SetFont>("Font", NotStored),
      SelfReference<TWidget, &TWidget::Buddy>("Buddy"),
      Property<&T::OnChange, &T::OnChange>("OnChange", NoDefault),
      Property<&T::OnIndex, &T::OnIndex>("OnIndex", NoDefault),
      [] {
        TPropInfo p;
        p.PropType = TypInfo::IntegerTypeInfo();
        p.Name = "ReadOnlyCount";
        p.GetOrd = &ReadOnlyCountOrd;
        p.Stored = false;
        return p;
      }(),
  };
  static const TClassInfo info("TWidget", &TComponent::StaticClass(),
                               {.Properties = props, .Create = &Classes::CreateComponent<T>});
  props[6].PropType = info.TypeInfo();
  return info;
}

const TClassInfo& TSpecialWidget::StaticClass() {
  static const TClassInfo info("TSpecialWidget", &TWidget::StaticClass(),
                               {.Create = &Classes::CreateComponent<TSpecialWidget>});
  return info;
}

const TClassInfo& TFormRoot::StaticClass() {
  static const TypInfo::TMethodInfo methods[] = {
      TypInfo::PublishedMethod<&TFormRoot::WidgetChanged>("WidgetChanged"),
      TypInfo::PublishedMethod<&TFormRoot::OtherChanged>("OtherChanged"),
      TypInfo::PublishedMethod<&TFormRoot::IndexPicked>("IndexPicked"),
  };
  static const TClassInfo info(
      "TFormRoot", &TComponent::StaticClass(),
      {.Methods = methods, .Create = &Classes::CreateComponent<TFormRoot>});
  return info;
}

const TClassInfo& TNode::StaticClass() {
  static TPropInfo props[] = {
      Property<&TNode::Value, &TNode::Value>("Value", NoDefault),
      SelfReference<TNode, &TNode::Next>("Next"),
  };
  static const TClassInfo info("TNode", &TPersistent::StaticClass(), {.Properties = props});
  props[1].PropType = info.TypeInfo();
  return info;
}

const TClassInfo& TFaultySource::StaticClass() {
  using T = TFaultySource;
  static const TPropInfo props[] = {
      Property<&T::GetNumber, &T::SetNumber>("Number", NotStored),
      Property<&T::GetText, &T::SetText>("Text", NotStored),
      Property<&T::GetColors, &T::SetColors>("Colors", NotStored),
      Property<&T::GetColor, &T::SetColor>("Color", NotStored),
  };
  static const TClassInfo info("TFaultySource", &TPersistent::StaticClass(), {.Properties = props});
  return info;
}

void TFaultySource::Raise() {
  ++Reads;
  switch (Fault) {
    case TFault::None:
      return;
    case TFault::Message:
      throw System::Exception(u"The device went away.");
    case TFault::EmptyMessage:
      throw System::Exception(u"");
    case TFault::Descendant:
      throw System::EConvertError(u"Cannot convert.");
    case TFault::Foreign:
      throw TForeignError{};
  }
}

const TPropInfo* PropOf(const TPersistent& object, const char* name) {
  const TPropInfo* p = TypInfo::GetPropInfo(object.ClassType(), name);
  if (p == nullptr) throw System::Exception(u"test: no property " + System::Utf8ToString(name));
  return p;
}

std::vector<String> ValuesOf(DesignIntf::IProperty& editor) {
  std::vector<String> values;
  auto collect = [&](const String& v) { values.push_back(v); };
  editor.GetValues(DesignIntf::TGetStrProc::Of(collect));
  return values;
}

std::vector<IPropertyPtr> SubPropertiesOf(DesignIntf::IProperty& editor) {
  std::vector<IPropertyPtr> subs;
  auto collect = [&](const IPropertyPtr& p) { subs.push_back(p); };
  editor.GetProperties(DesignIntf::TGetPropProc::Of(collect));
  return subs;
}

std::vector<String> NamesOf(const std::vector<IPropertyPtr>& editors) {
  std::vector<String> names;
  for (const IPropertyPtr& e : editors) names.push_back(e->GetName());
  return names;
}

String ClassNameOf(const IPropertyPtr& editor) {
  return dynamic_cast<TObject*>(editor.Get())->ClassName();
}

std::string Utf8(const String& s) {
  return System::StringToUtf8(s);
}

}  // namespace vorlane::DesignTests
