// The library entry on Windows: the system calls DllMain with the module's instance
// and the reason, and the package unit's initialisation does the rest (attach
// registers the module, detach unregisters it and frees a separate resource library).
//
// The entry is declared here with the types <windows.h> gives it (BOOL, HINSTANCE,
// DWORD, LPVOID, WINAPI) rather than by including that header, whose macros
// (DLL_PROCESS_ATTACH, FindResource, ...) would rename the framework's own names.
#include "VorlaneJoy.hpp"

extern "C" int __stdcall DllMain(void* instance, unsigned long reason, void* reserved) {
  // Initialization answers -1, all bits set, whatever the reason: the entry never
  // refuses the load.
  return vorlane::VorlaneJoy::Initialization(instance, static_cast<std::uint32_t>(reason),
                                             reserved);
}
