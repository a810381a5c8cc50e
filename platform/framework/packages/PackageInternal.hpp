// Pieces of the package loader shared by its source files: checked reading of
// little-endian data and the reading of module files, per system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/packages/Packages.hpp"

namespace vorlane::Packages::detail {

[[noreturn]] void Fail(std::string_view message);

// Reads little-endian fields from a span and raises EPackageError
// "<where> is malformed: <what> (at byte N)" when the data runs out.
class TByteReader {
 public:
  TByteReader(std::span<const std::byte> data, std::string_view where)
      : FData(data), FWhere(where) {}

  std::size_t Offset() const { return FOffset; }
  std::size_t Size() const { return FData.size(); }
  std::size_t Remaining() const { return FData.size() - FOffset; }
  void Seek(std::size_t offset, std::string_view what);
  // Moves to the next multiple of 4 (counted from the start of the data), or the end.
  void Align4();

  std::uint8_t U8(std::string_view what);
  std::uint16_t U16(std::string_view what);
  std::uint32_t U32(std::string_view what);
  std::span<const std::byte> Bytes(std::size_t count, std::string_view what);
  // 8-bit characters up to a zero byte, which is read too.
  std::string ZString(std::string_view what);
  // 16-bit units up to a zero unit, which is read too.
  String ZString16(std::string_view what);

  [[noreturn]] void Malformed(std::string_view what) const;

 private:
  std::span<const std::byte> FData;
  std::string FWhere;
  std::size_t FOffset = 0;
};

// Per system (PackageFilePosix.cpp: the ELF file's exported resource image and
// dynamic symbols; PackageFileWin32.cpp: the system's resource functions and
// export tables):

// The data of the PACKAGEINFO resource in the module file at `path`, read without
// loading it; std::nullopt when it has none. Raises EPackageError "Cannot read ..."
// when the file cannot be read as a module of this system.
std::optional<std::vector<std::byte>> ReadFilePackageInfo(const std::string& path);
// The data of the PACKAGEINFO resource of a loaded module; std::nullopt when it
// has none.
std::optional<std::span<const std::byte>> ModulePackageInfo(HMODULE module);
// The file of a module loaded in this process that defines symbols of the unit's
// namespace (vorlane::<unit>); empty when none does.
std::string FindUnitInProcess(std::string_view unit);

// Whether `symbol` is the mangled name of something of the unit's namespace
// (vorlane::<unit>): a function, a member, a virtual table or type information.
bool IsUnitSymbol(std::string_view symbol, std::string_view unit);

// The mangled name of a unit's routine without arguments: vorlane::<unit>::<routine>().
std::string UnitRoutineSymbol(std::string_view unit, std::string_view routine);

}  // namespace vorlane::Packages::detail
