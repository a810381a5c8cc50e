// Shared fixtures of the design-time tests: small classes with published
// properties of every kind, a source whose getters raise on demand, and a fixture
// with the hermetic joystick service and fresh registries.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ServiceFixture.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/designer/DesignEditors.hpp"
#include "vorlane/designer/DesignIntf.hpp"
#include "vorlane/designer/Inspector.hpp"
#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/Closure.hpp"
#include "vorlane/runtime/Set.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::DesignTests {

using Classes::TComponent;
using Classes::TPersistent;
using DesignIntf::IPropertyPtr;
using System::Integer;
using System::String;
using System::TObject;

enum TColor : std::uint8_t { clRed, clGreen, clBlue };
using TColors = System::TSet<TColor, std::uint8_t>;
struct TNotifyEvent : Closure::TClosure<void(TObject* Sender)> {
  using TClosure::TClosure;
  TNotifyEvent(TClosure c) : TClosure(c) {}
};
struct TIndexEvent : Closure::TClosure<void(TObject* Sender, Integer Index)> {
  using TClosure::TClosure;
  TIndexEvent(TClosure c) : TClosure(c) {}
};
TypInfo::PTypeInfo VorlaneTypeInfo(TColor*);
TypInfo::PTypeInfo VorlaneTypeInfo(TColors*);
TypInfo::PTypeInfo VorlaneTypeInfo(TNotifyEvent*);
TypInfo::PTypeInfo VorlaneTypeInfo(TIndexEvent*);

// A sub-object.
class TFont : public TPersistent {
 public:
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  Integer Size = 8;
  String Face = u"Sans";
};

// A component with one published property of each kind.
class TWidget : public TComponent {
 public:
  using TComponent::TComponent;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  Integer Count = 0;
  TColor Color = clRed;
  TColors Colors;
  String Caption;
  bool Enabled = false;
  TFont* GetFont() const { return FFont.get(); }
  void SetFont(TFont*) {}
  TWidget* Buddy = nullptr;
  TNotifyEvent OnChange;
  TIndexEvent OnIndex;
  std::int64_t ReadOnlyCount() const { return 7; }

 private:
  std::unique_ptr<TFont> FFont = std::make_unique<TFont>();
};

// A descendant, for registrations that name a deeper class.
class TSpecialWidget : public TWidget {
 public:
  using TWidget::TWidget;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
};

// A root component with published methods to bind events to.
class TFormRoot : public TComponent {
 public:
  using TComponent::TComponent;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  void WidgetChanged(TObject*) {}
  void OtherChanged(TObject*) {}
  void IndexPicked(TObject*, Integer) {}
};

// Sub-objects that refer to each other.
class TNode : public TPersistent {
 public:
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  Integer Value = 1;
  TNode* Next = nullptr;
};

// Getters that raise what Fault says. Its published properties: Number (Integer),
// Text (string), Colors (TColors), Color (TColor).
struct TForeignError {};  // not a framework exception
class TFaultySource : public TPersistent {
 public:
  enum class TFault { None, Message, EmptyMessage, Descendant, Foreign };
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  Integer GetNumber() {
    Raise();
    return 42;
  }
  String GetText() {
    Raise();
    return u"text";
  }
  TColors GetColors() {
    Raise();
    return {clRed, clBlue};
  }
  TColor GetColor() {
    Raise();
    return clGreen;
  }
  void SetNumber(Integer) {}
  void SetText(const String&) {}
  void SetColors(TColors) {}
  void SetColor(TColor) {}

  TFault Fault = TFault::None;
  int Reads = 0;

 private:
  void Raise();
};

// A designer that counts modifications.
class TTestDesigner : public DesignIntf::IDesigner {
 public:
  explicit TTestDesigner(TComponent* root = nullptr) : Root(root) {}
  TComponent* GetRoot() override { return Root; }
  void Modified() override { ++ModifiedCount; }
  TComponent* Root;
  int ModifiedCount = 0;
};

// The published property `name` of `object`'s class.
const TypInfo::TPropInfo* PropOf(const TPersistent& object, const char* name);

// A new editor of class T for property `name` of each of `objects`.
template <class T>
DesignIntf::TInterfacePtr<T> MakeEditor(std::vector<TPersistent*> objects, const char* name,
                                        DesignIntf::IDesigner* designer = nullptr) {
  DesignIntf::TInstPropList props;
  for (TPersistent* o : objects) props.push_back({o, PropOf(*o, name)});
  return DesignIntf::TInterfacePtr<T>(new T(designer, props));
}
template <class T>
DesignIntf::TInterfacePtr<T> MakeEditor(TPersistent* object, const char* name,
                                        DesignIntf::IDesigner* designer = nullptr) {
  return MakeEditor<T>(std::vector<TPersistent*>{object}, name, designer);
}

// Everything an editor passes to a TGetStrProc or a TGetPropProc.
std::vector<String> ValuesOf(DesignIntf::IProperty& editor);
std::vector<IPropertyPtr> SubPropertiesOf(DesignIntf::IProperty& editor);
std::vector<String> NamesOf(const std::vector<IPropertyPtr>& editors);
String ClassNameOf(const IPropertyPtr& editor);

// UTF-8 for failure messages.
std::string Utf8(const String& s);

// The hermetic joystick service, and fresh registries before and after.
class DesignTest : public vorlane::testing::THermeticServiceTest {
 protected:
  void SetUp() override {
    THermeticServiceTest::SetUp();
    DesignIntf::ClearRegistrations();
  }
  void TearDown() override {
    DesignIntf::ClearRegistrations();
    THermeticServiceTest::TearDown();
  }
};

}  // namespace vorlane::DesignTests
