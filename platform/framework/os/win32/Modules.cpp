// Modules on Windows: the system loader (LoadLibraryW and friends), resources
// (FindResourceW and friends) and export tables. A module's HMODULE is the address
// it is mapped at, which is what TModuleBase holds.
#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "framework/os/win32/Win32.hpp"

namespace vorlane::Os {

namespace {

HMODULE AsModule(TModuleBase module) {
  return reinterpret_cast<HMODULE>(module);
}

// The module containing `address`, with (`pin`) or without a new reference.
HMODULE ModuleAt(const void* address, bool pin) {
  HMODULE module = nullptr;
  DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
  if (!pin) flags |= GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!::GetModuleHandleExW(flags, static_cast<const wchar_t*>(address), &module)) return nullptr;
  return module;
}

// The file of `module` (nullptr: the program); empty when the loader knows none.
std::string FileOf(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return Win32::Narrow(path.data(), n);
    path.resize(path.size() * 2);  // truncated: try again with room to spare
  }
}

// The loader's own message boxes ("the library could not be found") stay off while
// it runs, on the calling thread only (the process-wide mode could be restored
// wrongly by two threads that load at once).
class TQuietLoader {
 public:
  TQuietLoader() {
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &FPrevious);
  }
  ~TQuietLoader() { ::SetThreadErrorMode(FPrevious, nullptr); }
  TQuietLoader(const TQuietLoader&) = delete;
  TQuietLoader& operator=(const TQuietLoader&) = delete;

 private:
  DWORD FPrevious = 0;
};

LPCWSTR ResourceKey(const TResourceKey& key) {
  // wchar_t is the 16-bit unit on Windows.
  return key.Text.empty() ? MAKEINTRESOURCEW(key.Number)
                          : reinterpret_cast<LPCWSTR>(key.Text.c_str());
}

std::optional<std::span<const std::byte>> LookUpResource(HMODULE module, const TResourceKey& type,
                                                         const TResourceKey& name) {
  const HRSRC found = ::FindResourceW(module, ResourceKey(name), ResourceKey(type));
  if (found == nullptr) return std::nullopt;
  const DWORD size = ::SizeofResource(module, found);
  const HGLOBAL loaded = ::LoadResource(module, found);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return std::nullopt;
  // A file read as data is not checked by the loader beyond its headers: a resource
  // that claims more bytes than the image maps is taken as none.
  const auto* image = reinterpret_cast<const std::byte*>(
      reinterpret_cast<std::uintptr_t>(module) & ~std::uintptr_t{3});  // less the data-file tag
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  const auto* first = static_cast<const std::byte*>(bytes);
  // SizeOfImage sits at the same place in the 32-bit and the 64-bit header.
  static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage) ==
                offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage));
  const std::size_t mapped = nt->OptionalHeader.SizeOfImage;
  if (first < image || static_cast<std::size_t>(first - image) > mapped ||
      size > mapped - static_cast<std::size_t>(first - image))
    return std::nullopt;
  return std::span(first, size);
}

}  // namespace

TLibraryHandle OpenLibrary(const std::string& path, std::string& error) {
  const TQuietLoader quiet;
  HMODULE module = ::LoadLibraryW(Win32::Widen(path).c_str());
  if (module == nullptr) error = Win32::ErrorText(::GetLastError());  // before the mode returns
  return module;
}

TLibraryHandle OpenLoadedModule(TModuleBase module) {
  if (module == 0) return nullptr;
  HMODULE pinned = ModuleAt(reinterpret_cast<const void*>(module), true);
  if (pinned == nullptr) return nullptr;
  if (pinned == AsModule(module)) return pinned;
  ::FreeLibrary(pinned);  // an address inside a module, not its base
  return nullptr;
}

bool CloseLibrary(TLibraryHandle library, std::string& error) {
  if (::FreeLibrary(static_cast<HMODULE>(library))) return true;
  error = Win32::ErrorText(::GetLastError());
  return false;
}

TModuleBase ModuleOf(TLibraryHandle library) {
  return reinterpret_cast<TModuleBase>(library);
}

void* FindSymbol(TLibraryHandle library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

TModuleBase ModuleContaining(const void* address) {
  if (address == nullptr) return 0;
  return reinterpret_cast<TModuleBase>(ModuleAt(address, false));
}

std::string ModulePath(TModuleBase module) {
  if (module == 0 || ModuleAt(reinterpret_cast<const void*>(module), false) != AsModule(module))
    return {};
  return FileOf(AsModule(module));
}

std::string ExecutablePath() {
  return FileOf(nullptr);
}

std::vector<std::string> LoadedModuleFiles() {
  std::vector<std::string> files;
  for (TModuleBase module : LoadedModules()) {
    std::string file = FileOf(AsModule(module));
    if (!file.empty()) files.push_back(std::move(file));
  }
  return files;
}

std::optional<std::vector<std::byte>> ReadFileResource(const std::string& path,
                                                       const TResourceKey& type,
                                                       const TResourceKey& name) {
  // The file the path names, as on POSIX: a bare name would otherwise go through the
  // loader's search path (and find a loaded module of that name first).
  const std::wstring wide = Win32::Widen(path);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n =
        ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) throw Win32::LastError("GetFullPathNameW");
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n);  // n counts the terminating NUL when the buffer was too small
  }
  HMODULE file = nullptr;
  DWORD error = ERROR_SUCCESS;
  {
    const TQuietLoader quiet;
    file = ::LoadLibraryExW(full.c_str(), nullptr,
                            LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (file == nullptr) error = ::GetLastError();
  }
  if (file == nullptr) throw EOsError("LoadLibraryExW", Win32::ErrorCode(error));
  std::optional<std::vector<std::byte>> bytes;
  if (auto found = LookUpResource(file, type, name)) bytes.emplace(found->begin(), found->end());
  ::FreeLibrary(file);
  return bytes;
}

std::optional<std::span<const std::byte>> FindModuleResource(TModuleBase module,
                                                             const TResourceKey& type,
                                                             const TResourceKey& name) {
  if (module == 0 || ModuleAt(reinterpret_cast<const void*>(module), false) != AsModule(module))
    return std::nullopt;
  return LookUpResource(AsModule(module), type, name);
}

std::vector<std::string> ModuleExportNames(TModuleBase module) {
  if (module == 0) return {};
  // Referenced while it is read: another thread may free it meanwhile.
  const HMODULE pinned = ModuleAt(reinterpret_cast<const void*>(module), true);
  if (pinned == nullptr) return {};
  struct TUnpin {
    HMODULE Module;
    ~TUnpin() { ::FreeLibrary(Module); }
  } unpin{pinned};
  if (pinned != AsModule(module)) return {};
  // A loaded module is an image of this machine, mapped as its headers lay out; what
  // the export directory says is still checked against the mapped size.
  const auto* image = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return {};
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT)
    return {};
  const std::size_t mapped = nt->OptionalHeader.SizeOfImage;
  auto within = [mapped](std::size_t rva, std::size_t length) {
    return rva <= mapped && length <= mapped - rva;
  };
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress == 0 || directory.Size == 0 ||
      !within(directory.VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY)))
    return {};
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image + directory.VirtualAddress);
  if (!within(exports->AddressOfNames, std::size_t{exports->NumberOfNames} * sizeof(DWORD)))
    return {};
  const auto* names = reinterpret_cast<const DWORD*>(image + exports->AddressOfNames);
  std::vector<std::string> out;
  out.reserve(exports->NumberOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    if (!within(names[i], 1)) continue;
    const auto* name = reinterpret_cast<const char*>(image + names[i]);
    const std::size_t room = mapped - names[i];
    const std::size_t length = strnlen(name, room);
    if (length < room) out.emplace_back(name, length);  // unterminated in the image: skipped
  }
  return out;
}

std::vector<TModuleBase> LoadedModules() {
  const auto program = reinterpret_cast<TModuleBase>(::GetModuleHandleW(nullptr));
  std::vector<TModuleBase> modules{program};
  Win32::THandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
  if (!snapshot.IsOpen()) return modules;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32FirstW(snapshot.Get(), &entry); more;
       more = ::Module32NextW(snapshot.Get(), &entry)) {
    const auto base = reinterpret_cast<TModuleBase>(entry.hModule);
    if (base != program) modules.push_back(base);
  }
  return modules;
}

}  // namespace vorlane::Os
