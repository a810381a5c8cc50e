// A package with a fault, for the loader's failure cases. With BROKEN_NO_INITIALIZE
// it exports no Initialize; with BROKEN_NO_MODULE its entry registers no module;
// with neither it is whole (its package information decides what happens to it).
#include <dlfcn.h>

#include "vorlane/packages/Packages.hpp"

namespace {

vorlane::Packages::TLibModule gModule;

#ifndef BROKEN_NO_MODULE
__attribute__((constructor)) void Attach() {
  Dl_info info{};
  ::dladdr(&gModule, &info);
  gModule.Instance = reinterpret_cast<vorlane::Packages::HMODULE>(info.dli_fbase);
  vorlane::Packages::RegisterModule(&gModule);
}
__attribute__((destructor)) void Detach() {
  vorlane::Packages::UnregisterModule(&gModule);
}
#endif

const vorlane::Packages::TPackageInfoTable gTable{};

}  // namespace

#ifndef BROKEN_NO_INITIALIZE
extern "C" void Initialize() {
  vorlane::Packages::PackageLoad(&gTable, &gModule);
}
#endif
extern "C" void Finalize() {
  vorlane::Packages::PackageUnload(&gTable, &gModule);
}
const vorlane::Packages::TPackageInfoTable* GetPackageInfoTable() {
  return &gTable;
}
