// VorlaneJoy: the package's main unit. It holds the library entry, the routines the
// package loader calls and the package information table.
#pragma once

#include <cstdint>

#include "vorlane/packages/Packages.hpp"

// The package routines under their plain names, as the loader looks them up.
extern "C" void Initialize();
extern "C" void Finalize();
const vorlane::Packages::TPackageInfoTable* GetPackageInfoTable();

namespace vorlane::VorlaneJoy {

// The same routines under names formed from the package's own name.
void Initialize();
void Finalize();
const Packages::TPackageInfoTable* GetPackageInfoTable();

// The library entry, which is also the package unit's initialisation: called with
// the module's instance, DLL_PROCESS_ATTACH when the library is loaded and
// DLL_PROCESS_DETACH when it is unloaded. Answers -1 (all bits set) every time.
// The instance is a pointer, as the system's entry gets it, so that the exported
// name is the same on every machine (an integer as wide as a pointer is spelt
// differently by 32-bit and 64-bit names).
std::int32_t Initialization(void* instance, std::uint32_t reason, void* reserved);

}  // namespace vorlane::VorlaneJoy
