// The package's main unit: library entry, Initialize, Finalize and the package
// information table.
#include "VorlaneJoy.hpp"

#include "Units.hpp"
#include "vorlane/Joystick.hpp"

namespace vorlane::VorlaneJoy {

namespace Counters {
std::int32_t SysInit = 0;
std::int32_t Joystick = 0;
std::int32_t JoystickDesign = 0;
}  // namespace Counters

namespace {

Packages::TLibModule LibModule;

}  // namespace

std::int32_t Initialization(void* entryInstance, std::uint32_t reason, void*) {
  const auto instance = reinterpret_cast<Packages::HMODULE>(entryInstance);
  SysInit::ModuleIsLib = true;
  SysInit::ModuleIsPackage = true;
  LibModule.Instance = instance;
  SysInit::HInstance = instance;
  LibModule.CodeInstance = 0;
  LibModule.DataInstance = 0;
  switch (reason) {
    case Packages::DLL_PROCESS_ATTACH:
      try {
        Packages::RegisterModule(&LibModule);
      } catch (...) {
        // The entry cannot fail; the loader finds the module unregistered and says so.
      }
      break;
    case Packages::DLL_PROCESS_DETACH:
      Packages::UnregisterModule(&LibModule);
      if (LibModule.ResInstance != 0 && LibModule.ResInstance != LibModule.Instance) {
        try {
          Packages::FreeLibrary(LibModule.ResInstance);
        } catch (...) {
          // A resource library that was not loaded with LoadLibrary is not ours to free.
        }
      }
      break;
    default:
      break;
  }
  return -1;
}

void Initialize() {
  Packages::PackageLoad(VorlaneJoy::GetPackageInfoTable(), &LibModule);
}

void Finalize() {
  Packages::PackageUnload(VorlaneJoy::GetPackageInfoTable(), &LibModule);
}

const Packages::TPackageInfoTable* GetPackageInfoTable() {
  using Packages::FrameworkUnit;
  using TypInfo::TypeInfo;
  // Initialisation order: every unit the package's units use, the framework's own
  // included (their entries lead to the framework library's routines), each after
  // the units it uses. The routines of Joystick and JoystickDesign are not in it.
  // What the units use directly is what the library imports from the framework
  // (the package tests compare the two): Joystick uses System, TypInfo, Classes,
  // Forms and joystickapi; JoystickDesign DesignIntf and DesignEditors; the main
  // unit Packages. Closure and Messages come in through them (TypInfo, DesignIntf
  // and Packages use Closure; Forms uses Messages).
  static const Packages::TUnitEntry units[] = {
      FrameworkUnit("System"),
      {"SysInit", &SysInit::Initialization, &SysInit::Finalization, &Counters::SysInit},
      FrameworkUnit("Closure"),
      FrameworkUnit("TypInfo"),
      FrameworkUnit("Classes"),
      FrameworkUnit("Messages"),
      FrameworkUnit("joystickapi"),
      FrameworkUnit("Forms"),
      FrameworkUnit("DesignIntf"),
      FrameworkUnit("DesignEditors"),
      FrameworkUnit("Packages"),
  };
  static const Packages::TContainedUnit contained[] = {
      {"JoystickDesign", &Counters::JoystickDesign},
      {"Joystick", &Counters::Joystick},
      {"SysInit", &Counters::SysInit},
  };
  static const Packages::TTypeEntry types[] = {
      {"EJoystickError", Joystick::EJoystickError::StaticClass().TypeInfo()},
      {"TJoystickForm", Joystick::TJoystickForm::StaticClass().TypeInfo()},
      {"TButtons", TypeInfo<Joystick::TButtons>()},
      {"TCapabilityFlag", TypeInfo<Joystick::TCapabilityFlag>()},
      {"TCapabilityFlags", TypeInfo<Joystick::TCapabilityFlags>()},
      {"TEventMode", TypeInfo<Joystick::TEventMode>()},
      {"TPointOfViewDirection", TypeInfo<Joystick::TPointOfViewDirection>()},
      {"TButtonDownEvent", TypeInfo<Joystick::TButtonDownEvent>()},
      {"TButtonUpEvent", TypeInfo<Joystick::TButtonUpEvent>()},
      {"TMoveEvent", TypeInfo<Joystick::TMoveEvent>()},
      {"TMoveZEvent", TypeInfo<Joystick::TMoveZEvent>()},
      {"TCapabilities", Joystick::TCapabilities::StaticClass().TypeInfo()},
      {"TJoystick", Joystick::TJoystick::StaticClass().TypeInfo()},
  };
  static const Packages::TPackageInfoTable table{units, contained, types};
  return &table;
}

}  // namespace vorlane::VorlaneJoy

extern "C" void Initialize() {
  vorlane::VorlaneJoy::Initialize();
}

extern "C" void Finalize() {
  vorlane::VorlaneJoy::Finalize();
}

const vorlane::Packages::TPackageInfoTable* GetPackageInfoTable() {
  return vorlane::VorlaneJoy::GetPackageInfoTable();
}
