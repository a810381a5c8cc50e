// The library entry on systems whose shared libraries have none: a constructor and
// a destructor call it. Priority 101 puts the attach before, and the detach after,
// every other static constructor and destructor of the library.
#include <dlfcn.h>

#include "VorlaneJoy.hpp"

namespace vorlane::VorlaneJoy {
namespace {

void* OwnInstance() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&Initialization), &info) == 0) return nullptr;
  return info.dli_fbase;
}

__attribute__((constructor(101))) void LibraryAttach() {
  Initialization(OwnInstance(), Packages::DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor(101))) void LibraryDetach() {
  Initialization(OwnInstance(), Packages::DLL_PROCESS_DETACH, nullptr);
}

}  // namespace
}  // namespace vorlane::VorlaneJoy
