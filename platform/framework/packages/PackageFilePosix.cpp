// Package files on POSIX, read without loading them: the ELF dynamic symbol table,
// the exported resource image, and which loaded modules already hold a unit.
#include <elf.h>

#include <cstring>
#include <limits>
#include <memory>

#include "framework/os/Os.hpp"
#include "framework/packages/PackageInternal.hpp"

namespace vorlane::Packages::detail {

namespace {

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

struct TElf64 {
  using Ehdr = Elf64_Ehdr;
  using Phdr = Elf64_Phdr;
  using Shdr = Elf64_Shdr;
  using Sym = Elf64_Sym;
  static unsigned char Bind(unsigned char info) { return ELF64_ST_BIND(info); }
};
struct TElf32 {
  using Ehdr = Elf32_Ehdr;
  using Phdr = Elf32_Phdr;
  using Shdr = Elf32_Shdr;
  using Sym = Elf32_Sym;
  static unsigned char Bind(unsigned char info) { return ELF32_ST_BIND(info); }
};

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char kHostData = ELFDATA2LSB;
#else
constexpr unsigned char kHostData = ELFDATA2MSB;
#endif
constexpr unsigned char kHostClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;

// Upper bounds that keep a damaged file from asking for absurd amounts of memory.
constexpr std::uint64_t kMaxTable = std::uint64_t{256} << 20;

TElfFile::TElfFile(std::string path) : FPath(std::move(path)) {
  try {
    FFile = std::make_unique<Os::TReadFile>(FPath);
  } catch (const Os::EOsError& e) {
    Fail("Cannot read '" + FPath + "': " + e.code().message() + ".");
  }
  if (FFile->Kind() != Os::TFileKind::Regular)
    Fail("Cannot read '" + FPath + "': it is not a regular file.");
  FSize = FFile->Size();
  unsigned char ident[EI_NIDENT];
  Read(0, sizeof ident, ident);
  if (std::memcmp(ident, ELFMAG, SELFMAG) != 0) Fail("'" + FPath + "' is not an ELF file.");
  if (ident[EI_CLASS] != kHostClass || ident[EI_DATA] != kHostData)
    Fail("'" + FPath + "' is an ELF file for another kind of machine.");
  F64 = ident[EI_CLASS] == ELFCLASS64;
}

TElfFile::~TElfFile() = default;

void TElfFile::Read(std::uint64_t offset, std::uint64_t size, void* out) {
  if (offset > FSize || size > FSize - offset)
    Fail("'" + FPath + "' is cut short: it ends at byte " + std::to_string(FSize) +
         ", before byte " + std::to_string(offset + size) + ".");
  auto* p = static_cast<char*>(out);
  while (size > 0) {
    std::size_t n = 0;
    try {
      n = FFile->ReadAt(offset, p, static_cast<std::size_t>(size));
    } catch (const Os::EOsError& e) {
      Fail("Cannot read '" + FPath + "': " + e.code().message() + ".");
    }
    if (n == 0) Fail("Cannot read '" + FPath + "': unexpected end.");
    p += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::uint64_t>(n);
  }
}

template <class Layout>
std::vector<TElfSymbol> TElfFile::SymbolsOf() {
  using Ehdr = typename Layout::Ehdr;
  using Shdr = typename Layout::Shdr;
  using Sym = typename Layout::Sym;
  Ehdr eh;
  Read(0, sizeof eh, &eh);
  if (eh.e_shoff == 0) Fail("'" + FPath + "' has no section table.");
  if (eh.e_shentsize != sizeof(Shdr))
    Fail("'" + FPath + "' has section headers of an unexpected size.");
  std::uint64_t count = eh.e_shnum;
  if (count == 0) {  // more sections than fit the field: the count is in section 0
    Shdr first;
    Read(eh.e_shoff, sizeof first, &first);
    count = first.sh_size;
  }
  if (count * sizeof(Shdr) > kMaxTable) Fail("'" + FPath + "' claims too many sections.");
  std::vector<Shdr> sections(count);
  Read(eh.e_shoff, count * sizeof(Shdr), sections.data());

  const Shdr* dynsym = nullptr;
  for (const Shdr& s : sections)
    if (s.sh_type == SHT_DYNSYM) dynsym = &s;
  if (dynsym == nullptr) Fail("'" + FPath + "' has no dynamic symbol table.");
  if (dynsym->sh_entsize != sizeof(Sym) || dynsym->sh_link >= count ||
      sections[dynsym->sh_link].sh_type != SHT_STRTAB || dynsym->sh_size > kMaxTable ||
      sections[dynsym->sh_link].sh_size > kMaxTable)
    Fail("'" + FPath + "' has a malformed dynamic symbol table.");
  const Shdr& strtab = sections[dynsym->sh_link];
  std::vector<char> names(strtab.sh_size);
  Read(strtab.sh_offset, names.size(), names.data());
  std::vector<Sym> symbols(dynsym->sh_size / sizeof(Sym));
  Read(dynsym->sh_offset, symbols.size() * sizeof(Sym), symbols.data());

  std::vector<TElfSymbol> out;
  out.reserve(symbols.size());
  for (const Sym& s : symbols) {
    if (s.st_name >= names.size()) Fail("'" + FPath + "' has a symbol name outside its table.");
    const char* begin = names.data() + s.st_name;
    const void* end = std::memchr(begin, 0, names.size() - s.st_name);
    if (end == nullptr) Fail("'" + FPath + "' has an unterminated symbol name.");
    TElfSymbol symbol;
    symbol.Name.assign(begin, static_cast<const char*>(end));
    symbol.Value = s.st_value;
    symbol.Size = s.st_size;
    const unsigned char bind = Layout::Bind(s.st_info);
    symbol.Defined = s.st_shndx != SHN_UNDEF &&
                     (bind == STB_GLOBAL || bind == STB_WEAK || bind == STB_GNU_UNIQUE);
    out.push_back(std::move(symbol));
  }
  return out;
}

std::vector<TElfSymbol> TElfFile::DynamicSymbols() {
  return F64 ? SymbolsOf<TElf64>() : SymbolsOf<TElf32>();
}

template <class Layout>
std::vector<std::byte> TElfFile::ReadAddressOf(std::uint64_t address, std::uint64_t size) {
  using Ehdr = typename Layout::Ehdr;
  using Phdr = typename Layout::Phdr;
  Ehdr eh;
  Read(0, sizeof eh, &eh);
  if (eh.e_phentsize != sizeof(Phdr) || std::uint64_t{eh.e_phnum} * sizeof(Phdr) > kMaxTable)
    Fail("'" + FPath + "' has a malformed program header table.");
  std::vector<Phdr> segments(eh.e_phnum);
  Read(eh.e_phoff, segments.size() * sizeof(Phdr), segments.data());
  for (const Phdr& p : segments) {
    if (p.p_type != PT_LOAD || address < p.p_vaddr) continue;
    const std::uint64_t offsetInSegment = address - p.p_vaddr;
    if (offsetInSegment > p.p_filesz || size > p.p_filesz - offsetInSegment) continue;
    if (size > kMaxTable) break;
    std::vector<std::byte> bytes(size);
    Read(p.p_offset + offsetInSegment, size, bytes.data());
    return bytes;
  }
  Fail("'" + FPath + "' has no loadable data at address " + std::to_string(address) + ".");
}

std::vector<std::byte> TElfFile::ReadAddress(std::uint64_t address, std::uint64_t size) {
  return F64 ? ReadAddressOf<TElf64>(address, size) : ReadAddressOf<TElf32>(address, size);
}

}  // namespace

std::optional<std::vector<std::byte>> ReadFilePackageInfo(const std::string& path) {
  TElfFile file(path);
  for (const TElfSymbol& s : file.DynamicSymbols()) {
    if (!s.Defined || s.Name != ResourcesSymbol) continue;
    const std::vector<std::byte> image = file.ReadAddress(s.Value, s.Size);
    for (const TResource& r : ParseResources(image, "the resources of '" + path + "'"))
      if (r.Type == TResourceId(RT_RCDATA) && r.Name == TResourceId(u"PACKAGEINFO"))
        return std::vector<std::byte>(r.Data.begin(), r.Data.end());
    return std::nullopt;
  }
  Fail("'" + path + "' carries no resources: it exports no " + ResourcesSymbol + ".");
}

std::optional<std::span<const std::byte>> ModulePackageInfo(HMODULE module) {
  if (auto r = FindResource(module, RT_RCDATA, u"PACKAGEINFO")) return r->Data;
  return std::nullopt;
}

std::string FindUnitInProcess(std::string_view unit) {
  for (const std::string& file : Os::LoadedModuleFiles()) {
    std::vector<TElfSymbol> symbols;
    try {
      symbols = TElfFile(file).DynamicSymbols();
    } catch (const EPackageError&) {
      continue;  // not a file (the kernel's vDSO) or none we can read: it holds no unit
    }
    for (const TElfSymbol& s : symbols)
      if (s.Defined && IsUnitSymbol(s.Name, unit)) return file;
  }
  return {};
}

}  // namespace vorlane::Packages::detail
