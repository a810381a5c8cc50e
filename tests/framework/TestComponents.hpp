// Small components that exercise published properties, events, sub-objects and
// form data in the framework tests.
#pragma once

#include <string>
#include <vector>

#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/Closure.hpp"
#include "vorlane/runtime/Set.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace framework_test {

using namespace vorlane;
using Classes::TComponent;
using System::String;
using System::TObject;
using TypInfo::PTypeInfo;
using TypInfo::TClassInfo;

// What Loaded and destructors did, in order.
inline std::vector<std::string> gEvents;

enum class TMode : std::uint8_t { mdSlow, mdFast, mdAuto };
inline PTypeInfo VorlaneTypeInfo(TMode*) {
  static const char* const names[] = {"mdSlow", "mdFast", "mdAuto"};
  static const TypInfo::TTypeInfo info = TypInfo::EnumType("TMode", names);
  return &info;
}

enum class TFlag : std::uint8_t { flRed, flGreen, flBlue };
using TFlags = System::TSet<TFlag, std::uint8_t>;
inline PTypeInfo VorlaneTypeInfo(TFlag*) {
  static const char* const names[] = {"flRed", "flGreen", "flBlue"};
  static const TypInfo::TTypeInfo info = TypInfo::EnumType("TFlag", names);
  return &info;
}
inline PTypeInfo VorlaneTypeInfo(TFlags*) {
  static const TypInfo::TTypeInfo info =
      TypInfo::SetType("TFlags", TypInfo::TypeInfo<TFlag>(), TypInfo::TOrdType::otUByte);
  return &info;
}

// An integer type with a narrow range.
enum class TLevel : std::int32_t {};
inline PTypeInfo VorlaneTypeInfo(TLevel*) {
  static const TypInfo::TTypeInfo info = [] {
    TypInfo::TTypeInfo t;
    t.Kind = TypInfo::TTypeKind::tkInteger;
    t.Name = "TLevel";
    t.Data.OrdType = TypInfo::TOrdType::otUByte;
    t.Data.MinValue = 0;
    t.Data.MaxValue = 100;
    return t;
  }();
  return &info;
}

struct TNotifyEvent : Closure::TClosure<void(TObject*)> {
  using TClosure::TClosure;
};
inline PTypeInfo VorlaneTypeInfo(TNotifyEvent*) {
  static const TypInfo::TTypeInfo info = TypInfo::MethodType<TNotifyEvent>("TNotifyEvent");
  return &info;
}
struct TCountEvent : Closure::TClosure<void(TObject*, int)> {
  using TClosure::TClosure;
};
inline PTypeInfo VorlaneTypeInfo(TCountEvent*) {
  static const TypInfo::TTypeInfo info = TypInfo::MethodType<TCountEvent>("TCountEvent");
  return &info;
}

// A persistent sub-object owned by its gadget.
class TSettings : public Classes::TPersistent {
 public:
  static const TClassInfo& StaticClass() {
    static const TypInfo::TPropInfo props[] = {
        TypInfo::Property<&TSettings::FSize, &TSettings::FSize>("Size", TypInfo::Default(8)),
        TypInfo::Property<&TSettings::FFont, &TSettings::FFont>("Font", TypInfo::NoDefault),
    };
    static const TClassInfo info("TSettings", &TPersistent::StaticClass(), {.Properties = props});
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void Assign(TPersistent* source) override {
    if (auto* s = dynamic_cast<TSettings*>(source)) {
      FSize = s->FSize;
      FFont = s->FFont;
      return;
    }
    TPersistent::Assign(source);
  }
  std::int32_t FSize = 8;
  String FFont;
};

// Fields and methods as accessors, every property kind, a refusing setter.
class TGadget : public TComponent {
 public:
  explicit TGadget(TComponent* owner) : TComponent(owner) {}
  ~TGadget() override {
    gEvents.push_back("destroy " + System::StringToUtf8(GetName()));
    delete FSettings;
  }
  static const TClassInfo& StaticClass() {
    static const TypInfo::TPropInfo props[] = {
        TypInfo::Property<&TGadget::FCount, &TGadget::SetCount>("Count", TypInfo::Default(0)),
        TypInfo::Property<&TGadget::GetMode, &TGadget::FMode>("Mode",
                                                              TypInfo::Default(TMode::mdAuto)),
        TypInfo::Property<&TGadget::FFlags, &TGadget::FFlags>(
            "Flags", TypInfo::Default(TFlags{TFlag::flRed})),
        TypInfo::Property<&TGadget::FCaption, &TGadget::SetCaption>("Caption", TypInfo::NoDefault),
        TypInfo::Property<&TGadget::FEnabled, &TGadget::FEnabled>("Enabled",
                                                                  TypInfo::Default(true)),
        TypInfo::Property<&TGadget::FLevel, &TGadget::FLevel>("Level", TypInfo::NoDefault),
        TypInfo::Property<&TGadget::FSecret, &TGadget::FSecret>("Secret", TypInfo::NotStored),
        TypInfo::Property<&TGadget::GetSettings, &TGadget::SetSettings>("Settings",
                                                                        TypInfo::NoDefault),
        TypInfo::Property<&TGadget::FOnChange, &TGadget::FOnChange>("OnChange", TypInfo::NoDefault),
        TypInfo::Property<&TGadget::FOnCount, &TGadget::FOnCount>("OnCount", TypInfo::NoDefault),
    };
    static const TClassInfo info(
        "TGadget", &TComponent::StaticClass(),
        {.Properties = props, .Create = &Classes::CreateComponent<TGadget>});
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }

  void SetCount(std::int32_t value) {
    if (value == 666) throw System::EConvertError(u"Count refuses 666");
    FCount = value;
  }
  TMode GetMode() const { return FMode; }
  void SetCaption(const String& value) {
    if (GetComponentState().Contains(Classes::csLoading))
      gEvents.push_back("caption while loading");
    if (GetComponentState().Contains(Classes::csDesigning))
      gEvents.push_back("caption while designing");
    FCaption = value;
  }
  TSettings* GetSettings() const { return FSettings; }
  void SetSettings(TSettings* value) { FSettings->Assign(value); }

  void Loaded() override {
    gEvents.push_back("loaded " + System::StringToUtf8(GetName()) +
                      (GetComponentState().Contains(Classes::csLoading) ? " (loading)" : "") +
                      (GetComponentState().Contains(Classes::csDesigning) ? " (designing)" : ""));
    TComponent::Loaded();
    if (FCaption == u"refuse Loaded") throw System::Exception(u"Loaded refused");
  }

  std::int32_t FCount = 0;
  TMode FMode = TMode::mdAuto;
  TFlags FFlags{TFlag::flRed};
  String FCaption;
  bool FEnabled = true;
  TLevel FLevel{};
  std::int32_t FSecret = 0;
  TSettings* FSettings = new TSettings;
  TNotifyEvent FOnChange;
  TCountEvent FOnCount;
};

// A descendant that publishes one more property after its ancestors'.
class TBigGadget : public TGadget {
 public:
  using TGadget::TGadget;
  static const TClassInfo& StaticClass() {
    static const TypInfo::TPropInfo props[] = {
        TypInfo::Property<&TBigGadget::FSize, &TBigGadget::FSize>("Size", TypInfo::Default(1)),
    };
    static const TClassInfo info(
        "TBigGadget", &TGadget::StaticClass(),
        {.Properties = props, .Create = &Classes::CreateComponent<TBigGadget>});
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
  std::int32_t FSize = 1;
};

// The root: owns the gadgets and publishes their handlers.
class TTestForm : public TComponent {
 public:
  explicit TTestForm(TComponent* owner = nullptr) : TComponent(owner) {}
  static const TClassInfo& StaticClass() {
    static const TypInfo::TPropInfo props[] = {
        TypInfo::Property<&TTestForm::FTitle, &TTestForm::FTitle>("Title", TypInfo::NoDefault),
        TypInfo::Property<&TTestForm::FOnShow, &TTestForm::FOnShow>("OnShow", TypInfo::NoDefault),
    };
    static const TypInfo::TMethodInfo methods[] = {
        TypInfo::PublishedMethod<&TTestForm::GadgetChange>("GadgetChange"),
        TypInfo::PublishedMethod<&TTestForm::GadgetCount>("GadgetCount"),
    };
    static const TClassInfo info(
        "TTestForm", &TComponent::StaticClass(),
        {.Properties = props, .Methods = methods, .Create = &Classes::CreateComponent<TTestForm>});
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void Loaded() override {
    gEvents.push_back("loaded root" + std::string(GetComponentState().Contains(Classes::csLoading)
                                                      ? " (loading)"
                                                      : ""));
    TComponent::Loaded();
  }

  void GadgetChange(TObject*) { ++Changes; }
  void GadgetCount(TObject*, int n) { Counted += n; }
  void NotPublished(TObject*) {}

  String FTitle;
  TNotifyEvent FOnShow;
  int Changes = 0;
  int Counted = 0;
};

inline const TypInfo::TClassRegistration<TGadget> gGadgetRegistration;
inline const TypInfo::TClassRegistration<TBigGadget> gBigGadgetRegistration;
inline const TypInfo::TClassRegistration<TSettings> gSettingsRegistration;

}  // namespace framework_test
