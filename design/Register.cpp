// Register and the property mapper of JoystickDesign.
#include <string_view>

#include "vorlane/Joystick.hpp"
#include "vorlane/JoystickDesign.hpp"

namespace vorlane::JoystickDesign {

using DesignEditors::EditorClassOf;
using DesignIntf::TPropertyEditorClass;
using Joystick::TCapabilities;
using Joystick::TJoystick;
using TypInfo::PTypeInfo;
using TypInfo::TClassInfo;

namespace {

struct TBinding {
  PTypeInfo Type;
  const TClassInfo* Class;
  const char16_t* Name;
  TPropertyEditorClass Editor;
};

}  // namespace

void Register() {
  DesignIntf::RegisterComponents(u"Vorlane", {&TJoystick::StaticClass()});

  const PTypeInfo integer = TypInfo::TypeInfo<System::Integer>();
  const PTypeInfo string = TypInfo::TypeInfo<System::String>();
  const PTypeInfo direction = TypInfo::TypeInfo<Joystick::TPointOfViewDirection>();
  const PTypeInfo buttons = TypInfo::TypeInfo<Joystick::TButtons>();
  const PTypeInfo flags = TypInfo::TypeInfo<Joystick::TCapabilityFlags>();
  const TClassInfo* joystick = &TJoystick::StaticClass();
  const TClassInfo* capabilities = &TCapabilities::StaticClass();
  const TPropertyEditorClass controllerEditor = EditorClassOf<TControllerProperty>();
  const TPropertyEditorClass integerEditor = EditorClassOf<TCheckedIntegerProperty>();
  const TPropertyEditorClass enumEditor = EditorClassOf<TCheckedEnumProperty>();
  const TPropertyEditorClass setEditor = EditorClassOf<TCheckedSetProperty>();
  const TPropertyEditorClass stringEditor = EditorClassOf<TCheckedStringProperty>();

  const TBinding bindings[] = {
      {integer, joystick, u"Controller", controllerEditor},
      {integer, joystick, u"CenteredR", integerEditor},
      {integer, joystick, u"CenteredU", integerEditor},
      {integer, joystick, u"CenteredV", integerEditor},
      {integer, joystick, u"CenteredX", integerEditor},
      {integer, joystick, u"CenteredY", integerEditor},
      {integer, joystick, u"CenteredZ", integerEditor},
      {integer, joystick, u"PositionR", integerEditor},
      {integer, joystick, u"PositionU", integerEditor},
      {integer, joystick, u"PositionV", integerEditor},
      {integer, joystick, u"PositionX", integerEditor},
      {integer, joystick, u"PositionY", integerEditor},
      {integer, joystick, u"PositionZ", integerEditor},
      {integer, joystick, u"PointOfView", integerEditor},
      {direction, joystick, u"PointOfViewDirection", enumEditor},
      {integer, joystick, u"PressedButtonCount", integerEditor},
      {buttons, joystick, u"PressedButtons", setEditor},
      {integer, joystick, u"Threshold", integerEditor},
      {integer, capabilities, u"AxesCount", integerEditor},
      {integer, capabilities, u"ButtonCount", integerEditor},
      {string, capabilities, u"Driver", stringEditor},
      {flags, capabilities, u"Flags", setEditor},
      {integer, capabilities, u"Manufacturer", integerEditor},
      {integer, capabilities, u"MaxAxes", integerEditor},
      {integer, capabilities, u"MaxButtons", integerEditor},
      {integer, capabilities, u"MaxPeriod", integerEditor},
      {integer, capabilities, u"MaxR", integerEditor},
      {integer, capabilities, u"MaxU", integerEditor},
      {integer, capabilities, u"MaxV", integerEditor},
      {integer, capabilities, u"MaxX", integerEditor},
      {integer, capabilities, u"MaxY", integerEditor},
      {integer, capabilities, u"MaxZ", integerEditor},
      {integer, capabilities, u"MinPeriod", integerEditor},
      {integer, capabilities, u"MinR", integerEditor},
      {integer, capabilities, u"MinU", integerEditor},
      {integer, capabilities, u"MinV", integerEditor},
      {integer, capabilities, u"MinX", integerEditor},
      {integer, capabilities, u"MinY", integerEditor},
      {integer, capabilities, u"MinZ", integerEditor},
      {integer, capabilities, u"Product", integerEditor},
      {string, capabilities, u"ProductName", stringEditor},
      {string, capabilities, u"RegistryKey", stringEditor},
  };
  static_assert(sizeof bindings / sizeof bindings[0] == 42);
  for (const TBinding& b : bindings)
    DesignIntf::RegisterPropertyEditor(b.Type, b.Class, b.Name, b.Editor);

  DesignIntf::RegisterPropertyMapper(&MapCheckedSetProperty);
}

TPropertyEditorClass MapCheckedSetProperty(Classes::TPersistent*,
                                           const TypInfo::TPropInfo* propInfo) {
  if (propInfo == nullptr || propInfo->PropType == nullptr ||
      propInfo->PropType->Kind != TypInfo::TTypeKind::tkSet)
    return {};
  const std::string_view name = propInfo->Name;
  if (name == "PressedButtons") return EditorClassOf<TCheckedSetProperty>();
  if (name == "Flags") return EditorClassOf<TCheckedSetProperty>();
  return {};
}

}  // namespace vorlane::JoystickDesign
