// Pieces of the package loader shared by its source files: checked reading of
// little-endian data and the reading of ELF files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/packages/Packages.hpp"

namespace vorlane::Os {
class TReadFile;
}

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

struct TElfSymbol {
  std::string Name;
  std::uint64_t Value = 0;
  std::uint64_t Size = 0;
  bool Defined = false;  // defined in this file, with global, weak or unique binding
};

// An ELF file of this machine's class and byte order, read on demand.
class TElfFile {
 public:
  explicit TElfFile(std::string path);
  ~TElfFile();
  TElfFile(const TElfFile&) = delete;
  TElfFile& operator=(const TElfFile&) = delete;

  // The entries of the dynamic symbol table (.dynsym).
  std::vector<TElfSymbol> DynamicSymbols();
  // `size` bytes at virtual address `address`, from the file's loadable segments.
  std::vector<std::byte> ReadAddress(std::uint64_t address, std::uint64_t size);

 private:
  void Read(std::uint64_t offset, std::uint64_t size, void* out);
  template <class Layout>
  std::vector<TElfSymbol> SymbolsOf();
  template <class Layout>
  std::vector<std::byte> ReadAddressOf(std::uint64_t address, std::uint64_t size);

  std::string FPath;
  std::unique_ptr<Os::TReadFile> FFile;
  std::uint64_t FSize = 0;
  bool F64 = true;
};

// The resource image a module file exports (ResourcesSymbol), read from the file.
std::vector<std::byte> ReadFileResources(const std::string& path);

// The file of a module loaded in this process that defines symbols of the unit's
// namespace (vorlane::<unit>); empty when none does.
std::string FindUnitInProcess(std::string_view unit);

// The mangled name of a unit's routine without arguments: vorlane::<unit>::<routine>().
std::string UnitRoutineSymbol(std::string_view unit, std::string_view routine);

}  // namespace vorlane::Packages::detail
