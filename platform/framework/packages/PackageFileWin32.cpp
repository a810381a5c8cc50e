// Package files on Windows: resources through the system's resource functions and
// unit symbols through the loaded modules' export tables (the system seam).
#include "framework/os/Os.hpp"
#include "framework/packages/PackageInternal.hpp"

namespace vorlane::Packages::detail {

namespace {

const Os::TResourceKey kRcData{RT_RCDATA, {}};
const Os::TResourceKey kPackageInfo{0, u"PACKAGEINFO"};

}  // namespace

std::optional<std::vector<std::byte>> ReadFilePackageInfo(const std::string& path) {
  try {
    return Os::ReadFileResource(path, kRcData, kPackageInfo);
  } catch (const Os::EOsError& e) {
    // ERROR_BAD_FORMAT and ERROR_BAD_EXE_FORMAT, whose texts are worded for a program.
    if (e.code().value() == 11 || e.code().value() == 193)
      Fail("'" + path + "' is not a Windows module.");
    Fail("Cannot read '" + path + "': " + e.code().message() + ".");
  }
}

std::optional<std::span<const std::byte>> ModulePackageInfo(HMODULE module) {
  return Os::FindModuleResource(module, kRcData, kPackageInfo);
}

std::string FindUnitInProcess(std::string_view unit) {
  for (Os::TModuleBase module : Os::LoadedModules())
    for (const std::string& name : Os::ModuleExportNames(module))
      if (IsUnitSymbol(name, unit)) return Os::ModulePath(module);
  return {};
}

}  // namespace vorlane::Packages::detail
