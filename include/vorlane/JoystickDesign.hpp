// The design-time unit JoystickDesign: the property editors that let the designer
// show TJoystick's live values and offer the attached controllers, and Register,
// which the designer calls once to install the component and the editors.
//
// The live values of TJoystick and TCapabilities ask the joystick service on
// every read and raise EJoystickError when it refuses (no controller plugged in,
// for instance). The five TChecked editors read through the standard editor of the
// property's kind and, when that read raises a System::Exception (or a descendant),
// show "(" + its message + ")" instead; anything else that is raised passes.
// TControllerProperty offers the controllers attached at the moment as a value list.
//
// The designer meets these classes through the registrations that Register makes;
// they are declared here so that tools and tests can name them.
#pragma once

#include "vorlane/designer/DesignEditors.hpp"
#include "vorlane/designer/DesignIntf.hpp"
#include "vorlane/runtime/Api.hpp"
#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::JoystickDesign {

// TJoystick.Controller: the value list is the numbers of the attached controllers,
// ascending; attributes {paValueList} only. Values are read and written by
// TIntegerProperty, unguarded and unchecked against the list.
class TControllerProperty : public DesignEditors::TIntegerProperty {
 public:
  using TIntegerProperty::TIntegerProperty;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  DesignIntf::TPropertyAttributes GetAttributes() override;
  void GetValues(DesignIntf::TGetStrProc proc) override;
};

// Live integer properties.
class TCheckedIntegerProperty : public DesignEditors::TIntegerProperty {
 public:
  using TIntegerProperty::TIntegerProperty;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  System::String GetValue() override;
};

// One element of a live set property; made only by TCheckedSetProperty.
class TCheckedSetElementProperty : public DesignEditors::TSetElementProperty {
 public:
  using TSetElementProperty::TSetElementProperty;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  System::String GetValue() override;
};

// Live set properties: each element sub-editor is a TCheckedSetElementProperty,
// made without reading the property, so expanding never raises.
class TCheckedSetProperty : public DesignEditors::TSetProperty {
 public:
  using TSetProperty::TSetProperty;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  void GetProperties(DesignIntf::TGetPropProc proc) override;
  System::String GetValue() override;
};

// Live string properties.
class TCheckedStringProperty : public DesignEditors::TStringProperty {
 public:
  using TStringProperty::TStringProperty;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  System::String GetValue() override;
};

// Live enumeration properties.
class TCheckedEnumProperty : public DesignEditors::TEnumProperty {
 public:
  using TEnumProperty::TEnumProperty;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  System::String GetValue() override;
};

// Installs TJoystick on the palette page "Vorlane", binds the 42 properties of
// TJoystick and TCapabilities to the editors above and installs
// MapCheckedSetProperty. Raises what a registration raises; registrations made
// before it stay.
void Register();

// The property mapper: TCheckedSetProperty for a set-typed property named exactly
// "PressedButtons" or "Flags" (case-sensitive), on any class; none otherwise. The
// object is not consulted. Its address is what the designer holds: one address in
// every module.
VORLANE_DESIGN_API DesignIntf::TPropertyEditorClass MapCheckedSetProperty(
    Classes::TPersistent* object, const TypInfo::TPropInfo* propInfo);

}  // namespace vorlane::JoystickDesign
