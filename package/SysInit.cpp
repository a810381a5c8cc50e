// SysInit: the package's start-up unit.
#include "Units.hpp"

namespace vorlane::SysInit {

Packages::HMODULE HInstance = 0;
bool ModuleIsLib = false;
bool ModuleIsPackage = false;

void Initialization() {
  --VorlaneJoy::Counters::SysInit;
}

void Finalization() {
  ++VorlaneJoy::Counters::SysInit;
}

}  // namespace vorlane::SysInit
