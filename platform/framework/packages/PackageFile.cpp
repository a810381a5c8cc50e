// Package files and unit symbols, whatever the system: what the per-system readers
// (PackageFilePosix.cpp, PackageFileWin32.cpp) find, decoded.
#include <string>

#include "framework/packages/PackageInternal.hpp"

namespace vorlane::Packages {

namespace detail {

bool IsUnitSymbol(std::string_view symbol, std::string_view unit) {
  const std::string ns = "7vorlane" + std::to_string(unit.size()) + std::string(unit);
  for (const char* kind : {"_ZN", "_ZNK", "_ZTVN", "_ZTIN"}) {
    const std::string_view k(kind);
    if (symbol.starts_with(k) && symbol.substr(k.size()).starts_with(ns)) return true;
  }
  return false;
}

std::string UnitRoutineSymbol(std::string_view unit, std::string_view routine) {
  return "_ZN7vorlane" + std::to_string(unit.size()) + std::string(unit) +
         std::to_string(routine.size()) + std::string(routine) + "Ev";
}

}  // namespace detail

TPackageInfo ReadPackageInfo(const std::string& path) {
  const auto data = detail::ReadFilePackageInfo(path);
  if (!data) detail::Fail("'" + path + "' is not a package: it carries no PACKAGEINFO resource.");
  return DecodePackageInfo(*data, "the package information of '" + path + "'");
}

TPackageInfo GetPackageInfo(HMODULE module) {
  const std::string file = GetModuleFileName(module);
  const auto data = detail::ModulePackageInfo(module);
  if (!data) detail::Fail("'" + file + "' is not a package: it carries no PACKAGEINFO resource.");
  return DecodePackageInfo(*data, "the package information of '" + file + "'");
}

}  // namespace vorlane::Packages
