// The units of the package as its main unit sees them: the start-up unit SysInit
// and the initialisation and finalisation routines of every contained unit. Each
// unit's routines only move its counter: initialisation subtracts 1, finalisation
// adds 1.
#pragma once

#include <cstdint>

#include "vorlane/packages/Packages.hpp"

namespace vorlane::SysInit {

// Set by the library entry: the module's instance, and that it is a library and
// a package.
extern Packages::HMODULE HInstance;
extern bool ModuleIsLib;
extern bool ModuleIsPackage;

void Initialization();
void Finalization();

}  // namespace vorlane::SysInit

namespace vorlane::Joystick {
void Initialization();
void Finalization();
}  // namespace vorlane::Joystick

namespace vorlane::JoystickDesign {
void Initialization();
void Finalization();
}  // namespace vorlane::JoystickDesign

// The counters live with the package's main unit, which lists them in its package
// information table; they are not exported.
namespace vorlane::VorlaneJoy::Counters {
extern std::int32_t SysInit;
extern std::int32_t Joystick;
extern std::int32_t JoystickDesign;
}  // namespace vorlane::VorlaneJoy::Counters
