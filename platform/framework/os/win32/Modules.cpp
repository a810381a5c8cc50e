// Modules on Windows: the system loader (LoadLibraryW and friends). A module's
// HMODULE is the address it is mapped at, which is what TModuleBase holds.
#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

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

}  // namespace

TLibraryHandle OpenLibrary(const std::string& path, std::string& error) {
  // The loader's own message boxes ("the library could not be found") stay off.
  const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryW(Win32::Widen(path).c_str());
  const DWORD code = ::GetLastError();
  ::SetErrorMode(previous);
  if (module == nullptr) error = Win32::ErrorText(code);
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
  const std::string program = ExecutablePath();
  if (!program.empty()) files.push_back(program);
  Win32::THandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
  if (!snapshot.IsOpen()) return files;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32FirstW(snapshot.Get(), &entry); more;
       more = ::Module32NextW(snapshot.Get(), &entry)) {
    std::string file = Win32::Narrow(entry.szExePath, std::wcslen(entry.szExePath));
    if (file != program) files.push_back(std::move(file));
  }
  return files;
}

}  // namespace vorlane::Os
