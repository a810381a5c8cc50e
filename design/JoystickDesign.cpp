// The property editors of JoystickDesign.
#include "vorlane/JoystickDesign.hpp"

#include "vorlane/Joystick.hpp"

namespace vorlane::JoystickDesign {

using DesignEditors::TIntegerProperty;
using DesignEditors::TPropertyEditor;
using DesignIntf::IPropertyPtr;
using System::String;
using TypInfo::TClassInfo;

// --- TControllerProperty ------------------------------------------------------------

const TClassInfo& TControllerProperty::StaticClass() {
  static const TClassInfo info("TControllerProperty", &TIntegerProperty::StaticClass());
  return info;
}

DesignIntf::TPropertyAttributes TControllerProperty::GetAttributes() {
  return {DesignIntf::paValueList};
}

void TControllerProperty::GetValues(DesignIntf::TGetStrProc proc) {
  Joystick::TJoystick* joystick = System::As<Joystick::TJoystick>(GetComponent(0));
  const System::Integer count = joystick->GetControllerCount();
  for (System::Integer i = 0; i < count; ++i)
    if (joystick->GetAttached(i)) proc(System::IntToStr(i));
}

// --- The guarded readers --------------------------------------------------------------

namespace {

// What `read` returns, or "(" + the message + ")" when it raises a System::Exception
// (a live value the service refuses); anything else that is raised passes.
template <class TRead>
String Guarded(TRead read) {
  try {
    return read();
  } catch (const System::Exception& e) {
    return u"(" + e.GetMessage() + u")";
  }
}

}  // namespace

const TClassInfo& TCheckedIntegerProperty::StaticClass() {
  static const TClassInfo info("TCheckedIntegerProperty", &TIntegerProperty::StaticClass());
  return info;
}

String TCheckedIntegerProperty::GetValue() {
  return Guarded([this] { return TIntegerProperty::GetValue(); });
}

const TClassInfo& TCheckedSetElementProperty::StaticClass() {
  static const TClassInfo info("TCheckedSetElementProperty",
                               &DesignEditors::TSetElementProperty::StaticClass());
  return info;
}

String TCheckedSetElementProperty::GetValue() {
  return Guarded([this] { return TSetElementProperty::GetValue(); });
}

const TClassInfo& TCheckedSetProperty::StaticClass() {
  static const TClassInfo info("TCheckedSetProperty", &DesignEditors::TSetProperty::StaticClass());
  return info;
}

void TCheckedSetProperty::GetProperties(DesignIntf::TGetPropProc proc) {
  const TypInfo::TTypeData* elementType =
      TypInfo::GetTypeData(TypInfo::GetTypeData(GetPropType())->CompType);
  for (std::int64_t e = elementType->MinValue; e <= elementType->MaxValue; ++e)
    proc(IPropertyPtr(new TCheckedSetElementProperty(this, static_cast<int>(e))));
}

String TCheckedSetProperty::GetValue() {
  return Guarded([this] { return TSetProperty::GetValue(); });
}

const TClassInfo& TCheckedStringProperty::StaticClass() {
  static const TClassInfo info("TCheckedStringProperty",
                               &DesignEditors::TStringProperty::StaticClass());
  return info;
}

String TCheckedStringProperty::GetValue() {
  return Guarded([this] { return TStringProperty::GetValue(); });
}

const TClassInfo& TCheckedEnumProperty::StaticClass() {
  static const TClassInfo info("TCheckedEnumProperty",
                               &DesignEditors::TEnumProperty::StaticClass());
  return info;
}

String TCheckedEnumProperty::GetValue() {
  return Guarded([this] { return TEnumProperty::GetValue(); });
}

}  // namespace vorlane::JoystickDesign
